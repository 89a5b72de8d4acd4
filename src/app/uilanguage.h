#pragma once

class QCoreApplication;

namespace tamro {

// Tamro speaks Japanese whatever the user's locale says: the default locale becomes Japanese
// and Qt's own texts (standard buttons, file choosers, the edit boxes' menus) come from Qt's
// Japanese catalogue. Answers whether the catalogue was found.
bool InstallJapaneseTranslations(QCoreApplication &app);

}  // namespace tamro
