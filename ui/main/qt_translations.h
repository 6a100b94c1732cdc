// The toolkit's own texts in the program's language: the buttons of the
// message boxes, the Open and Save As dialogs, the menus of the text boxes
// and of the child windows. Italian takes the toolkit's translation file
// qtbase_it.qm from its translations folder; English keeps the toolkit's
// built-in texts, which are English.
#pragma once

#include <QString>

// The toolkit's translation file for the Italian texts.
QString ToolkitItalianFile();

// Loads or drops the toolkit's translation so that its texts follow the
// language of the program's texts (gLangBase). Without the file the toolkit
// stays in English. Does nothing while the language is the one already
// followed, so every dialog may call it before it is shown.
void FollowToolkitLanguage();

// Drops the translation: the toolkit's texts are English again.
void ToolkitLanguageReset();
