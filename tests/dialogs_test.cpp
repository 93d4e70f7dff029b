// The dialogs as the program drives them: messages in, dialog-manager calls out. Host only: the
// window manager stand-in plays the user.
#include "ui/dialogs.h"

#include "platform/host/fake_registry.h"
#include "platform/host/fake_windows.h"
#include "resources/resource.h"
#include "tests/registry_support.h"
#include "ui/notice.h"

#include <iconv.h>

#include <algorithm>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

namespace {

using fake_windows::Dialog;

// The notice as the user reads it, one line an entry.
const char* const kNoticeLines[] = {
    "------------ Uninstaller for Vorlaxen ------------",
    "",
    "Vorlaxen.exeで使用したレジストリデータを削除します。",
    "",
    "再度Vorlaxen.exeを実行すればレジストリデータは自動的に",
    "再構築されますので、気兼ね無く削除してください(^^)",
    "このプログラムは初期リリースのVorlaxen.exeを含め",
    "全てのVorlaxen.exeをサポートしています。",
    "",
    "「OKボタン」を押すと削除を実行します。",
};

std::string Convert(const std::string& text, const char* from, const char* to) {
    iconv_t converter = iconv_open(to, from);
    EXPECT_NE(reinterpret_cast<iconv_t>(-1), converter);
    std::string out(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* out_ptr = out.data();
    size_t out_left = out.size();
    EXPECT_NE(static_cast<size_t>(-1), iconv(converter, &in, &in_left, &out_ptr, &out_left));
    iconv_close(converter);
    out.resize(out.size() - out_left);
    return out;
}

std::string ExpectedNoticeUtf8() {
    std::string text;
    for (const char* line : kNoticeLines) {
        if (line != kNoticeLines[0]) {
            text += "\r\n";
        }
        text += line;
    }
    return text;
}

std::u16string Utf16(const std::string& utf8) {
    std::string bytes = Convert(utf8, "UTF-8", "UTF-16LE");
    return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
}

HINSTANCE const kInstance = reinterpret_cast<HINSTANCE>(0x400000);
constexpr WORD kEditChange = 0x0300;  // the edit control's change notification

// Client sizes of the two dialogs at the dialog font's base units (203 x 149, 74 x 59 units).
constexpr int kMainWidth = 305, kMainHeight = 242;
constexpr int kResultWidth = 111, kResultHeight = 96;

void SendCommand(HWND dialog, WORD command, WORD notification = 0) {
    fake_windows::Send(dialog, WM_COMMAND, MAKEWPARAM(command, notification), 0);
}

class DialogsTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        fake_windows::Reset({0, 0, 1024, 768});
        fake_windows::SetClientSize(IDD_UNINSTALL, kMainWidth, kMainHeight);
        fake_windows::SetClientSize(IDD_RESULT, kResultWidth, kResultHeight);
        g_hInstance = nullptr;
    }

    static void SeedProduct() {
        SetStringValue(HKEY_CLASSES_ROOT, ".vrx", "", "Vorlaxen.Document");
        SetStringValue(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Settings", "A", "1");
    }

    static bool ProductGone() {
        return !KeyExists(HKEY_CLASSES_ROOT, ".vrx") &&
               !KeyExists(HKEY_CURRENT_USER, "Software\\QUELB.");
    }

    static size_t Position(const std::string& call) {
        const auto& log = fake_windows::CallLog();
        return std::find(log.begin(), log.end(), call) - log.begin();
    }
};

TEST_F(DialogsTest, NoticeIsTheTenLinesInCodePage932) {
    std::string notice = "left over";
    BuildNoticeText(notice);
    EXPECT_EQ(Convert(ExpectedNoticeUtf8(), "UTF-8", "CP932"), notice);
    EXPECT_NE("\r\n", notice.substr(notice.size() - 2)) << "no line break after the last line";
}

TEST_F(DialogsTest, StartShowsTheUninstallDialogOnTheDesktopWithTheNotice) {
    HWND main = nullptr;
    fake_windows::OnShown(IDD_UNINSTALL, [&](HWND dialog) {
        main = dialog;
        SendCommand(dialog, IDCANCEL);
    });

    EXPECT_EQ(0, WinMain(kInstance, nullptr, const_cast<char*>("/ignored"), 0));

    EXPECT_EQ(kInstance, g_hInstance);
    const Dialog* dialog = fake_windows::Find(main);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(kInstance, dialog->instance);
    EXPECT_EQ(fake_windows::Desktop(), dialog->parent);
    EXPECT_EQ(Utf16(ExpectedNoticeUtf8()), dialog->texts_w.at(IDC_NOTICE))
        << "the notice reaches the control as UTF-16";
    EXPECT_TRUE(dialog->texts_a.empty());
    EXPECT_EQ((1024 - kMainWidth) / 2, dialog->rect.left);
    EXPECT_EQ((768 - kMainHeight) / 2, dialog->rect.top);
    EXPECT_EQ(1u, fake_windows::Dialogs().size()) << "nothing but the one dialog";
}

TEST_F(DialogsTest, InitDialogLeavesTheFocusToTheDialogManager) {
    HWND window = fake_windows::AddWindow({0, 0, 10, 10}, 10, 10, nullptr);
    EXPECT_EQ(TRUE, MainDialogProc(window, WM_INITDIALOG, 0, 0));
    EXPECT_EQ(TRUE, ResultDialogProc(window, WM_INITDIALOG, 0, 0));
}

TEST_F(DialogsTest, OkRemovesThenAnnouncesOverTheDialogThenEnds) {
    struct Case {
        const char* how_the_result_closes;
        WORD command;
    } cases[] = {{"its OK button or Enter", IDOK}, {"Esc or its close box", IDCANCEL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how_the_result_closes);
        SetUp();
        SeedProduct();
        HWND main = nullptr;
        fake_windows::OnShown(IDD_UNINSTALL, [&](HWND dialog) {
            main = dialog;
            SendCommand(dialog, IDOK);
        });
        fake_windows::OnShown(IDD_RESULT, [&](HWND dialog) {
            EXPECT_TRUE(ProductGone()) << "the removal runs before the announcement";
            const Dialog* result = fake_windows::Find(dialog);
            const Dialog* owner = fake_windows::Find(main);
            EXPECT_EQ(main, result->owner);
            EXPECT_EQ(kInstance, result->instance);
            EXPECT_FALSE(owner->ended) << "the uninstall dialog stays until the result closes";
            EXPECT_EQ((owner->rect.left + owner->rect.right - kResultWidth) / 2, result->rect.left);
            EXPECT_EQ((owner->rect.top + owner->rect.bottom - kResultHeight) / 2, result->rect.top);
            SendCommand(dialog, c.command);
        });

        EXPECT_EQ(0, WinMain(kInstance, nullptr, nullptr, 0));

        ASSERT_EQ(2u, fake_windows::Dialogs().size());
        EXPECT_EQ(c.command, fake_windows::Dialogs()[1].end_code);
        EXPECT_EQ(IDOK, fake_windows::Dialogs()[0].end_code);
        EXPECT_LT(Position("EndDialog 130 " + std::to_string(c.command)),
                  Position("EndDialog 129 1"));
        EXPECT_TRUE(ProductGone());
    }
}

TEST_F(DialogsTest, ResultIsAnnouncedEvenWhenThereWasNothingToRemove) {
    fake_windows::OnShown(IDD_UNINSTALL, [](HWND dialog) { SendCommand(dialog, IDOK); });
    fake_windows::OnShown(IDD_RESULT, [](HWND dialog) { SendCommand(dialog, IDOK); });

    EXPECT_EQ(0, WinMain(kInstance, nullptr, nullptr, 0));

    ASSERT_EQ(2u, fake_windows::Dialogs().size());
    EXPECT_EQ(IDD_RESULT, fake_windows::Dialogs()[1].template_id);
}

TEST_F(DialogsTest, CancelEndsAtOnceAndRemovesNothing) {
    SeedProduct();
    fake_windows::OnShown(IDD_UNINSTALL, [](HWND dialog) { SendCommand(dialog, IDCANCEL); });

    EXPECT_EQ(0, WinMain(kInstance, nullptr, nullptr, 0));

    ASSERT_EQ(1u, fake_windows::Dialogs().size());
    EXPECT_EQ(IDCANCEL, fake_windows::Dialogs()[0].end_code);
    EXPECT_KEY_PRESENT(HKEY_CLASSES_ROOT, ".vrx");
    EXPECT_KEY_PRESENT(HKEY_CURRENT_USER, "Software\\QUELB.\\Vorlaxen\\Settings");
}

TEST_F(DialogsTest, CommandsAreReadFromTheLowWordOnly) {
    struct Case {
        const char* what;
        WORD command;
        WORD notification;
        INT_PTR handled;
        bool ends;
    } cases[] = {
        {"OK with a notification code", IDOK, 0x1234, TRUE, true},
        {"Cancel with a notification code", IDCANCEL, 0xFFFF, TRUE, true},
        {"a change in the notice", IDC_NOTICE, kEditChange, FALSE, false},
        {"an unknown command", 3, 0, FALSE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (DLGPROC procedure : {MainDialogProc, ResultDialogProc}) {
            SetUp();
            HWND window = fake_windows::AddWindow({0, 0, 10, 10}, 10, 10, nullptr);
            fake_windows::OnShown(IDD_RESULT, [](HWND dialog) { SendCommand(dialog, IDOK); });
            INT_PTR handled =
                procedure(window, WM_COMMAND, MAKEWPARAM(c.command, c.notification), 0);
            EXPECT_EQ(c.handled, handled);
            bool ended = Position("EndDialog -1 " + std::to_string(c.command)) <
                         fake_windows::CallLog().size();
            EXPECT_EQ(c.ends, ended);
        }
    }
}

TEST_F(DialogsTest, OtherMessagesAreLeftToTheDialogManager) {
    HWND window = fake_windows::AddWindow({0, 0, 10, 10}, 10, 10, nullptr);
    constexpr UINT kPaint = 0x000F, kClose = 0x0010;
    for (UINT message : {kPaint, kClose}) {
        EXPECT_EQ(FALSE, MainDialogProc(window, message, 0, 0));
        EXPECT_EQ(FALSE, ResultDialogProc(window, message, 0, 0));
    }
    EXPECT_TRUE(fake_windows::CallLog().empty());
}

TEST_F(DialogsTest, CenteringUsesTheClientSizeAndTruncatesTowardZero) {
    struct Case {
        const char* what;
        bool owned;
        RECT reference;
        int width, height;
        int x, y;
    } cases[] = {
        {"desktop", false, {0, 0, 1024, 768}, 400, 300, 312, 234},
        {"desktop with odd sums", false, {0, 0, 1025, 769}, 400, 300, 312, 234},
        {"owner on a monitor to the right", true, {1024, 0, 2048, 768}, 301, 201, 1385, 283},
        {"owner at negative coordinates", true, {-301, -201, 100, 100}, 200, 100, -200, -100},
        {"dialog larger than its owner", true, {10, 10, 50, 30}, 101, 61, -20, -10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_windows::Reset(c.owned ? RECT{0, 0, 800, 600} : c.reference);
        HWND owner = c.owned ? fake_windows::AddWindow(c.reference, 1, 1, nullptr) : nullptr;
        HWND window = fake_windows::AddWindow({5, 5, 50, 50}, c.width, c.height, owner);

        CenterDialog(window);

        ASSERT_EQ(1u, fake_windows::CallLog().size());
        EXPECT_EQ("SetWindowPos -1 - " + std::to_string(c.x) + " " + std::to_string(c.y) + " 0 0 5",
                  fake_windows::CallLog()[0]);
    }
}

}  // namespace
