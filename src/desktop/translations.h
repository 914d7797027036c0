#pragma once

// The toolkit's own texts (the standard buttons "Evet", "Hayır", "Tamam", the
// context menu of the text boxes) in Turkish, whatever the locale: the whole
// interface is Turkish, also for an operator whose desktop runs in another
// language. The translation is Qt's own (Debian: qt6-translations-l10n).
namespace UiTranslations {

// Installs the Turkish translation into the running application, once.
// False when it is not installed on this machine: the buttons then stay in
// the toolkit's English.
bool install();

} // namespace UiTranslations
