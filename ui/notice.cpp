// This file is compiled with a code page 932 execution character set, so its Japanese literals
// are the Shift-JIS bytes the notice is made of.
#include "ui/notice.h"

namespace {

const char kNewLine[] = "\r\n";

}  // namespace

void BuildNoticeText(std::string& text) {
    text.clear();
    text += "------------ Uninstaller for Vorlaxen ------------";
    text += kNewLine;
    text += kNewLine;
    text += "Vorlaxen.exeで使用したレジストリデータを削除します。";
    text += kNewLine;
    text += kNewLine;
    text += "再度Vorlaxen.exeを実行すればレジストリデータは自動的に";
    text += kNewLine;
    text += "再構築されますので、気兼ね無く削除してください(^^)";
    text += kNewLine;
    text += "このプログラムは初期リリースのVorlaxen.exeを含め";
    text += kNewLine;
    text += "全てのVorlaxen.exeをサポートしています。";
    text += kNewLine;
    text += kNewLine;
    text += "「OKボタン」を押すと削除を実行します。";
}
