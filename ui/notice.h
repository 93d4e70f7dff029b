#pragma once

#include <string>

// Replaces `text` with the uninstall dialog's notice, in code page 932 bytes, lines ending CR LF.
void BuildNoticeText(std::string& text);
