#!/usr/bin/python3
"""A folder seen through FUSE as a slow disk, for the save benchmarks.

Every file operation passes straight to the folder underneath, but writes are
paced to a fixed rate, as on a USB stick that takes about 10 MB/s. Runs in the
foreground until the mount point is unmounted (fusermount -u MOUNT_POINT).

    bench/slowfs.py FOLDER MOUNT_POINT [MB_PER_SECOND]
"""

import errno
import os
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowDisk(Operations):
    """Pass-through file system whose writes take as long as on a slow disk."""

    def __init__(self, root, bytes_per_second):
        self.root = os.path.realpath(root)
        self.rate = bytes_per_second
        # One disk: writes from several threads queue behind each other.
        self.disk = threading.Lock()
        self.busy_until = 0.0

    def real(self, path):
        return os.path.join(self.root, path.lstrip('/'))

    def pace(self, size):
        with self.disk:
            start = max(time.monotonic(), self.busy_until)
            self.busy_until = start + size / self.rate
            delay = self.busy_until - time.monotonic()
        if delay > 0:
            time.sleep(delay)

    def __call__(self, op, path, *args):
        try:
            return super().__call__(op, path, *args)
        except OSError as error:
            raise FuseOSError(error.errno or errno.EIO)

    def access(self, path, mode):
        if not os.access(self.real(path), mode):
            raise FuseOSError(errno.EACCES)

    def chmod(self, path, mode):
        os.chmod(self.real(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self.real(path), uid, gid)

    def getattr(self, path, fh=None):
        st = os.lstat(self.real(path))
        keys = ('st_mode', 'st_nlink', 'st_uid', 'st_gid', 'st_size',
                'st_atime', 'st_mtime', 'st_ctime')
        return {key: getattr(st, key) for key in keys}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self.real(path))

    def mkdir(self, path, mode):
        os.mkdir(self.real(path), mode)

    def rmdir(self, path):
        os.rmdir(self.real(path))

    def unlink(self, path):
        os.unlink(self.real(path))

    def rename(self, old, new):
        os.rename(self.real(old), self.real(new))

    def link(self, target, source):
        os.link(self.real(source), self.real(target))

    def utimens(self, path, times=None):
        os.utime(self.real(path), times)

    def statfs(self, path):
        st = os.statvfs(self.real(path))
        keys = ('f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail',
                'f_ffree', 'f_files', 'f_flag', 'f_frsize', 'f_namemax')
        return {key: getattr(st, key) for key in keys}

    def open(self, path, flags):
        return os.open(self.real(path), flags)

    def create(self, path, mode, fi=None):
        flags = os.O_WRONLY | os.O_CREAT | os.O_TRUNC
        return os.open(self.real(path), flags, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        self.pace(len(data))
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        if fh is None:
            os.truncate(self.real(path), length)
        else:
            os.ftruncate(fh, length)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        if datasync:
            os.fdatasync(fh)
        else:
            os.fsync(fh)

    def release(self, path, fh):
        os.close(fh)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    rate = float(sys.argv[3]) if len(sys.argv) == 4 else 10.0
    FUSE(SlowDisk(sys.argv[1], rate * 1e6), sys.argv[2], foreground=True,
         big_writes=True, max_write=131072)


if __name__ == '__main__':
    main()
