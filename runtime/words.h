// Marks a text of the core that the windows show in the desktop's language:
// the translation tools find it by this name, and the windows translate it
// in the context given. The core uses the text as it stands.
#pragma once

#define TB_WORDS(context, text) text
