#pragma once

// Lets screen readers see the skin as it is meant: each picture button (image and caption) as a
// button named by its caption that can be pressed, the other labels as text. A caption label
// marks its image as its buddy. Installing twice does no harm.
void installSkinAccessibility();
