#pragma once

class QCoreApplication;

// The toolkit's own texts (standard buttons, the text boxes' context menu) in
// Turkish, from Qt's translation of qtbase where it is installed
// (qt6-translations-l10n); without it they stay English and nothing else
// changes. The interface is Turkish whatever the system's locale.
bool installTurkishTranslation(QCoreApplication &app);
