// The POSIX dialog manager seen from a host: the plug-in's templates (embedded in this
// program by the same build step as in in_tessel.so), the backend's notifications and
// snapshots, and key input through tessel::ui.
#include "platform/src/dialog_internal.h"

#include <tessel/ui_backend.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Heard {
    const char *kind;
    HWND dialog;
};

class RecordingBackend : public tessel::ui::Backend {
public:
    int MessageBox(HWND, const char *text, const char *, UINT) override
    {
        boxes.push_back(text);
        return IDOK;
    }
    void DialogShown(HWND dialog) override { notices.push_back({"shown", dialog}); }
    void DialogChanged(HWND dialog) override { notices.push_back({"changed", dialog}); }
    void DialogClosed(HWND dialog) override { notices.push_back({"closed", dialog}); }

    int Count(const char *kind) const
    {
        int count = 0;
        for (const Heard &notice : notices)
            count += std::string(notice.kind) == kind;
        return count;
    }

    std::vector<Heard> notices;
    std::vector<std::string> boxes;
};

// What the dialog procedure heard: WM_COMMAND notifications, and WM_DESTROY.
std::vector<std::pair<int, int>> commands;
int destroyed = 0;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_DESTROY)
        ++destroyed;
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(dialog, 1002, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("48000"));
        SendDlgItemMessageA(dialog, 1002, CB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("44100"));
        SendDlgItemMessageA(dialog, 1002, CB_SETCURSEL, 1, 0);
        CheckRadioButton(dialog, 1007, 1009, 1007);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(dialog);
            return TRUE;
        }
    }
    return FALSE;
}

class DialogManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        commands.clear();
        destroyed = 0;
        previous = tessel::ui::InstallBackend(&backend);
    }
    void TearDown() override
    {
        for (HWND dialog : tessel::ui::Dialogs())
            DestroyWindow(dialog);
        tessel::ui::InstallBackend(previous);
    }

    // Templates 101 and 102 of this program's own resources.
    HWND Create(int id)
    {
        HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(id), nullptr, RecordingProc, 0);
        EXPECT_NE(nullptr, dialog) << "error " << GetLastError();
        return dialog;
    }

    const tessel::ui::ControlView *Control(const tessel::ui::DialogView &view, int id)
    {
        for (const auto &control : view.controls)
            if (control.id == id)
                return &control;
        ADD_FAILURE() << "no control " << id;
        return nullptr;
    }

    RecordingBackend backend;
    tessel::ui::Backend *previous = nullptr;
};

TEST_F(DialogManagerTest, ResourcesAreFoundByOrdinalNameAndLanguage)
{
    EXPECT_NE(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_DIALOG));
    EXPECT_NE(nullptr, FindResourceA(nullptr, "#102", RT_DIALOG));
    EXPECT_NE(nullptr,
              FindResourceExA(nullptr, RT_DIALOG, MAKEINTRESOURCEA(101), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    EXPECT_EQ(nullptr, FindResourceExA(nullptr, RT_DIALOG, MAKEINTRESOURCEA(101), MAKELANGID(0x07, 0x01)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(103), RT_DIALOG));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(6)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
}

TEST_F(DialogManagerTest, CutTemplatesAreRefusedWithoutReadingPastThem)
{
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(101), RT_DIALOG);
    ASSERT_NE(nullptr, resource);
    auto *data = static_cast<const unsigned char *>(LockResource(LoadResource(nullptr, resource)));
    DWORD size = SizeofResource(nullptr, resource);
    tessel::platform::DialogTemplate whole;
    ASSERT_TRUE(tessel::platform::ParseDialogTemplate(data, size, whole));
    EXPECT_EQ("Velkin Configuration", whole.caption);
    EXPECT_EQ("MS Sans Serif", whole.fontName);
    EXPECT_EQ(8, whole.fontPoints);
    EXPECT_EQ(16u, whole.items.size());
    // Every shorter prefix, copied so that reading past it would leave the buffer.
    for (DWORD cut = 0; cut < size; ++cut) {
        std::vector<unsigned char> prefix(data, data + cut);
        tessel::platform::DialogTemplate parsed;
        bool complete = tessel::platform::ParseDialogTemplate(prefix.data(), prefix.size(), parsed);
        // Only the padding after the last item may be missing.
        if (complete) {
            EXPECT_GE(cut + 4, size) << "accepted a template cut at " << cut;
        }
    }
}

TEST_F(DialogManagerTest, BackendHearsOfShowChangeAndCloseAndReadsSnapshots)
{
    HWND dialog = Create(101);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(0, backend.Count("shown")) << "a hidden dialog is not drawn";
    EXPECT_EQ(0, backend.Count("changed"));
    ShowWindow(dialog, SW_SHOW);
    EXPECT_EQ(1, backend.Count("shown"));
    EXPECT_EQ((std::vector<HWND>{dialog}), tessel::ui::Dialogs());

    tessel::ui::DialogView view;
    ASSERT_TRUE(tessel::ui::DescribeDialog(dialog, view));
    EXPECT_EQ("Velkin Configuration", view.caption);
    EXPECT_EQ("MS Sans Serif", view.fontName);
    EXPECT_EQ(8, view.fontPoints);
    EXPECT_EQ(152, view.rect.right - view.rect.left) << "dialog units";
    ASSERT_EQ(16u, view.controls.size());
    const auto *ok = Control(view, IDOK);
    ASSERT_TRUE(ok);
    EXPECT_EQ(tessel::ui::ControlKind::PushButton, ok->kind);
    EXPECT_TRUE(ok->isDefault);
    EXPECT_TRUE(ok->focused);
    EXPECT_EQ(20, ok->rect.left);
    EXPECT_EQ(120, ok->rect.top);
    EXPECT_EQ(70, ok->rect.right);
    EXPECT_EQ(134, ok->rect.bottom);
    const auto *rate = Control(view, 1002);
    ASSERT_TRUE(rate);
    EXPECT_EQ(tessel::ui::ControlKind::ComboBox, rate->kind);
    EXPECT_EQ((std::vector<std::string>{"48000", "44100"}), rate->items);
    EXPECT_EQ(1, rate->selection);
    EXPECT_EQ("44100", rate->text);
    EXPECT_EQ(25 + 90, rate->listRect.bottom) << "the list reaches the template height";
    const auto *replay = Control(view, 1007);
    ASSERT_TRUE(replay);
    EXPECT_EQ(tessel::ui::ControlKind::RadioButton, replay->kind);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), replay->checked);

    size_t before = backend.notices.size();
    CheckDlgButton(dialog, 1004, BST_CHECKED);
    EXPECT_GT(backend.notices.size(), before) << "a change is announced";
    ASSERT_TRUE(tessel::ui::DescribeDialog(dialog, view));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), Control(view, 1004)->checked);

    DestroyWindow(dialog);
    EXPECT_EQ(1, backend.Count("closed"));
    EXPECT_TRUE(tessel::ui::Dialogs().empty());
    EXPECT_FALSE(tessel::ui::DescribeDialog(dialog, view));
}

TEST_F(DialogManagerTest, DialogOfAnEndedThreadIsForgottenWithoutRunningItsProcedure)
{
    HWND dialog = nullptr;
    std::thread owner([&] {
        dialog = Create(102);
        ShowWindow(dialog, SW_SHOW);
    });
    owner.join();
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(0, destroyed) << "nothing runs on the thread that is going away";
    EXPECT_EQ(1, backend.Count("closed")) << "the backend forgets the dialog";
    EXPECT_TRUE(tessel::ui::Dialogs().empty());
}

TEST_F(DialogManagerTest, KeysReachTheFocusedControlThroughTheDialogManager)
{
    HWND dialog = Create(101);
    ASSERT_NE(nullptr, dialog);
    ShowWindow(dialog, SW_SHOW);
    HWND rate = GetDlgItem(dialog, 1002);
    // Shift+Tab goes back: from OK round to the last tab stop, the checked radio button.
    ASSERT_TRUE(tessel::ui::PressKey(dialog, VK_TAB, true));
    EXPECT_EQ(GetDlgItem(dialog, 1007), GetFocus());
    tessel::ui::PressKey(dialog, VK_TAB, true);
    tessel::ui::PressKey(dialog, VK_TAB, true);
    tessel::ui::PressKey(dialog, VK_TAB, true);
    tessel::ui::PressKey(dialog, VK_TAB, true);
    EXPECT_EQ(rate, GetParent(GetFocus())) << "the rate box's own field";

    commands.clear();
    ASSERT_TRUE(tessel::ui::TypeText(dialog, "9"));
    EXPECT_EQ("9", tessel::platform::WindowText(GetFocus())) << "typing replaced the selected text";
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(std::make_pair(1002, static_cast<int>(CBN_EDITUPDATE)), commands[0]);
    EXPECT_EQ(std::make_pair(1002, static_cast<int>(CBN_EDITCHANGE)), commands[1]);
    ASSERT_TRUE(tessel::ui::TypeText(dialog, "60"));
    tessel::ui::DialogView view;
    tessel::ui::DescribeDialog(dialog, view);
    EXPECT_EQ("960", Control(view, 1002)->text);
    EXPECT_EQ(3, Control(view, 1002)->selectionEnd) << "caret after the typed text";
    EXPECT_TRUE(Control(view, 1002)->focused);

    // Up and down in the field pick from the list; F4 opens it.
    tessel::ui::PressKey(dialog, VK_UP);
    EXPECT_EQ("48000", tessel::platform::WindowText(GetFocus()));
    tessel::ui::PressKey(dialog, VK_F4);
    EXPECT_TRUE(SendMessageA(rate, CB_GETDROPPEDSTATE, 0, 0));
    tessel::ui::PressKey(dialog, VK_ESCAPE);
    EXPECT_FALSE(SendMessageA(rate, CB_GETDROPPEDSTATE, 0, 0)) << "Escape closes the open list first";
    EXPECT_TRUE(IsWindow(dialog));
    tessel::ui::PressKey(dialog, VK_ESCAPE);
    EXPECT_FALSE(IsWindow(dialog)) << "then cancels the dialog";
}

TEST_F(DialogManagerTest, MultiLineEditScrollsBothWays)
{
    HWND dialog = Create(102);
    ASSERT_NE(nullptr, dialog);
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    text += std::string(100, 'w');
    SetDlgItemTextA(dialog, 1016, text.c_str());
    SetFocus(GetDlgItem(dialog, 1016));
    tessel::ui::PressKey(dialog, VK_NEXT);
    tessel::ui::DialogView view;
    tessel::ui::DescribeDialog(dialog, view);
    EXPECT_GT(Control(view, 1016)->firstLine, 0);
    EXPECT_EQ(0, Control(view, 1016)->firstColumn);
    SendDlgItemMessageA(dialog, 1016, EM_SETSEL, static_cast<WPARAM>(text.size()), static_cast<LPARAM>(text.size()));
    tessel::ui::PressKey(dialog, VK_END);
    tessel::ui::DescribeDialog(dialog, view);
    // 240 units wide: 60 cells show; the 100-character line scrolls to its end.
    EXPECT_EQ(100 - 60 + 1, Control(view, 1016)->firstColumn);
    EXPECT_EQ(40 - 150 / 8 + 1, Control(view, 1016)->firstLine) << "the last line at the bottom row";
    tessel::ui::PressKey(dialog, 'X');
    tessel::ui::PumpMessages();
    EXPECT_EQ(text, tessel::platform::WindowText(GetDlgItem(dialog, 1016))) << "read-only";
}

} // namespace
