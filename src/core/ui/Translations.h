#pragma once
// Qt's own texts (file dialog, standard buttons, the child windows' system
// menu) in German, like the rest of the program.

namespace mv {

// Installs Qt's German translations once per application; false when the
// translation files are not installed (the texts then stay English).
bool LoadGermanTranslations();

} // namespace mv
