#pragma once

class QCoreApplication;

// Installs Qt's own Simplified Chinese translations, whatever the system locale, so that Qt's
// dialogs and buttons speak the program's language. Missing catalogues are skipped silently.
void installChineseTranslations(QCoreApplication &app);
