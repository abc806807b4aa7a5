// The configuration dialog, opened through the record's Config and used as a user
// would: what it shows for the stored settings, the rate box's filter while typing and
// pasting, and what OK, Cancel and the close box leave in the registry.
#include "tests/conformance/dialog_driver.h"
#include "tests/double/bass_double.h"

#include <cstring>

namespace {

const char kCaption[] = "Velkin Configuration";

enum {
    idDevice = 1000,
    idRate = 1002,
    id8Bits = 1003,
    idMono = 1004,
    idLoop = 1005,
    idReplayDefault = 1007,
    idReplayPt1 = 1008,
    idReplayFt2 = 1009,
    idRampNone = 1010,
    idRampNormal = 1011,
    idRampSensitive = 1012,
};

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BassDouble_Reset();
        Plugin()->hDllInstance = PluginModule();
        LoadPluginSettings(-1, 44100, 0, 2);
        recorder.Clear();
    }

    void TearDown() override
    {
        for (HWND dialog : DialogsCaptioned(kCaption))
            DestroyWindow(dialog);
        host.Drain();
        DeleteSettingsKey();
    }

    // Config as the host calls it; the dialog it opened.
    HWND Open()
    {
        std::vector<HWND> before = DialogsCaptioned(kCaption);
        Plugin()->Config(host.Handle());
        HWND dialog = Appeared(before, DialogsCaptioned(kCaption));
        EXPECT_NE(nullptr, dialog) << "Config opened no dialog; boxes: " << Describe(recorder.Boxes());
        return dialog;
    }

    HWND OpenWith(LONG device, DWORD freq, DWORD devflags, DWORD modflags)
    {
        LoadPluginSettings(device, freq, devflags, modflags);
        return Open();
    }

    void Command(HWND dialog, int id)
    {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        PumpDialog(dialog);
    }

    std::vector<std::string> Items(HWND dialog, int id)
    {
        std::vector<std::string> items;
        LRESULT count = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[256] = "";
            SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }

    LRESULT Selected(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0); }

    // The rate box with the focus and its whole text selected, as Tab leaves it.
    void FocusRateBox(HWND dialog)
    {
        SetFocus(GetDlgItem(dialog, idRate));
        SendDlgItemMessageA(dialog, idRate, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
    }

    DWORD RateCaret(HWND dialog)
    {
        DWORD start = 0, end = 0;
        SendDlgItemMessageA(dialog, idRate, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                            reinterpret_cast<LPARAM>(&end));
        return end;
    }

    void ExpectStored(LONG device, DWORD freq, DWORD devflags, DWORD modflags)
    {
        EXPECT_EQ(static_cast<DWORD>(device), SettingsDword("device"));
        EXPECT_EQ(freq, SettingsDword("freq"));
        EXPECT_EQ(devflags, SettingsDword("devflags"));
        EXPECT_EQ(modflags, SettingsDword("modflags"));
    }

    HostWindow host;
    BoxRecorder recorder;
};

TEST_F(ConfigDialogTest, TemplateAsCreated)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(host.Handle(), GetWindow(dialog, GW_OWNER));
    DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    EXPECT_EQ(frame, style & (frame | WS_CHILD)) << std::hex << style;
    ExpectClientSize(dialog, 152, 141);

    const DWORD button = BS_TYPEMASK | WS_TABSTOP | WS_GROUP;
    // A combo box hands its scroll bar to its list (the template has it, see below).
    const DWORD combo = 0x3 | CBS_SORT | WS_TABSTOP | WS_GROUP;
    // With the defaults (modflags 2) "Default" and "Sensitive" are the checked radio
    // buttons: a checked one is the group's tab stop.
    ExpectControls(
        dialog,
        {
            {IDOK, "button", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, button, 20, 120, 50, 14},
            {IDCANCEL, "button", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, button, 75, 120, 50, 14},
            {idDevice, "combobox", nullptr, CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP, combo, 10, 7, 130, 103},
            {idRate, "combobox", nullptr, CBS_DROPDOWN | CBS_SORT | WS_TABSTOP, combo, 60, 25, 80, 90},
            {0xFFFF, "static", "Samplerate", SS_LEFT | WS_GROUP, SS_TYPEMASK | WS_GROUP | WS_TABSTOP, 10, 27, 39, 8},
            {id8Bits, "button", "8 Bits", BS_AUTOCHECKBOX | WS_TABSTOP, button, 10, 45, 33, 10},
            {idMono, "button", "Mono", BS_AUTOCHECKBOX | WS_TABSTOP, button, 60, 45, 34, 10},
            {idLoop, "button", "Loop", BS_AUTOCHECKBOX | WS_TABSTOP, button, 110, 45, 32, 10},
            {idReplayDefault, "button", "Default", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, button, 15, 70, 39, 10},
            {idReplayPt1, "button", "ProTracker I", BS_AUTORADIOBUTTON, button, 15, 85, 55, 10},
            {idReplayFt2, "button", "FastTracker II", BS_AUTORADIOBUTTON, button, 15, 100, 60, 10},
            {0xFFFF, "button", "MOD Replay", BS_GROUPBOX, button, 10, 60, 70, 55},
            {0xFFFF, "button", "Ramping", BS_GROUPBOX, button, 85, 60, 55, 55},
            {idRampNone, "button", "None", BS_AUTORADIOBUTTON | WS_GROUP, button, 90, 70, 33, 10},
            {idRampNormal, "button", "Normal", BS_AUTORADIOBUTTON, button, 90, 85, 38, 10},
            {idRampSensitive, "button", "Sensitive", BS_AUTORADIOBUTTON | WS_TABSTOP, button, 90, 100, 45, 10},
        });
    EXPECT_EQ(GetDlgItem(dialog, IDOK), GetFocus()) << "the first tab stop has the focus";
}

TEST_F(ConfigDialogTest, TemplateResourceIsExact)
{
    TemplateResource dialog;
    ASSERT_TRUE(ReadTemplate(PluginModule(), 101, dialog));
    EXPECT_EQ(static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), dialog.style);
    EXPECT_EQ(kCaption, dialog.caption);
    EXPECT_EQ(8, dialog.fontPoints);
    EXPECT_EQ("MS Sans Serif", dialog.fontName);
    EXPECT_EQ(0, dialog.x);
    EXPECT_EQ(0, dialog.y);
    EXPECT_EQ(152, dialog.cx);
    EXPECT_EQ(141, dialog.cy);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const char *const button = "button", *const label = "static", *const combo = "combobox";
    const TemplateItem expected[] = {
        {child | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 20, 120, 50, 14, IDOK, button, "OK"},
        {child | WS_TABSTOP | BS_PUSHBUTTON, 0, 75, 120, 50, 14, IDCANCEL, button, "Cancel"},
        {child | WS_TABSTOP | WS_VSCROLL | CBS_SORT | CBS_DROPDOWNLIST, 0, 10, 7, 130, 103, idDevice, combo, ""},
        {child | WS_TABSTOP | WS_VSCROLL | CBS_SORT | CBS_DROPDOWN, 0, 60, 25, 80, 90, idRate, combo, ""},
        {child | WS_GROUP | SS_LEFT, 0, 10, 27, 39, 8, 0xFFFF, label, "Samplerate"},
        {child | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 10, 45, 33, 10, id8Bits, button, "8 Bits"},
        {child | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 60, 45, 34, 10, idMono, button, "Mono"},
        {child | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 110, 45, 32, 10, idLoop, button, "Loop"},
        {child | WS_GROUP | BS_AUTORADIOBUTTON, 0, 15, 70, 39, 10, idReplayDefault, button, "Default"},
        {child | BS_AUTORADIOBUTTON, 0, 15, 85, 55, 10, idReplayPt1, button, "ProTracker I"},
        {child | BS_AUTORADIOBUTTON, 0, 15, 100, 60, 10, idReplayFt2, button, "FastTracker II"},
        {child | BS_GROUPBOX, 0, 10, 60, 70, 55, 0xFFFF, button, "MOD Replay"},
        {child | BS_GROUPBOX, 0, 85, 60, 55, 55, 0xFFFF, button, "Ramping"},
        {child | WS_GROUP | BS_AUTORADIOBUTTON, 0, 90, 70, 33, 10, idRampNone, button, "None"},
        {child | BS_AUTORADIOBUTTON, 0, 90, 85, 38, 10, idRampNormal, button, "Normal"},
        {child | BS_AUTORADIOBUTTON, 0, 90, 100, 45, 10, idRampSensitive, button, "Sensitive"},
    };
    ExpectTemplateItems(expected, sizeof expected / sizeof expected[0], dialog);
}

TEST_F(ConfigDialogTest, RateListForStandardAndOtherRates)
{
    const std::vector<std::string> standard{"48000", "44100", "22050", "11025"};
    struct Case {
        DWORD freq;
        LRESULT selected;
        const char *fifth; // nullptr: no fifth entry
        DWORD storedByOk;
    } const cases[] = {
        {48000, 0, nullptr, 48000},        {11025, 3, nullptr, 11025}, {32000, 4, "32000", 32000}, {0, 4, "", 0},
        {12345678, 4, "2345678", 2345678}, {10000005, 4, "5", 5}, // only the last seven digits, leading zeros dropped
    };
    for (const Case &each : cases) {
        SCOPED_TRACE("freq " + std::to_string(each.freq));
        HWND dialog = OpenWith(-1, each.freq, 0, 2);
        ASSERT_NE(nullptr, dialog);
        std::vector<std::string> expected = standard;
        if (each.fifth)
            expected.push_back(each.fifth);
        EXPECT_EQ(expected, Items(dialog, idRate));
        EXPECT_EQ(each.selected, Selected(dialog, idRate));
        EXPECT_EQ(expected[static_cast<size_t>(each.selected)], ControlText(dialog, idRate));
        Command(dialog, IDOK);
        EXPECT_FALSE(IsWindow(dialog)) << "OK closes the dialog";
        EXPECT_EQ(each.storedByOk, SettingsDword("freq"));
    }
}

TEST_F(ConfigDialogTest, TypingKeepsSevenDigitsAndTheCaretWhereTypingLeftIt)
{
    struct Case {
        const char *typed;
        const char *shown;
    } const cases[] = {
        {"44a", "44"},
        {"4x4y1", "441"}, // the caret stays after the digits typed so far
        {"4xy1", "41"},
        {"123456789", "1234567"},
        {"1a2345678", "1234567"}, // typed key by key, the letter goes before the eighth digit
    };
    for (const Case &each : cases) {
        SCOPED_TRACE(each.typed);
        HWND dialog = OpenWith(-1, 44100, 0, 2);
        ASSERT_NE(nullptr, dialog);
        FocusRateBox(dialog);
        TypeText(dialog, each.typed);
        EXPECT_EQ(each.shown, ControlText(dialog, idRate));
        EXPECT_EQ(strlen(each.shown), RateCaret(dialog)) << "caret after the last digit";
        Command(dialog, IDOK);
        EXPECT_EQ(static_cast<DWORD>(std::stoul(each.shown)), SettingsDword("freq"));
    }
}

TEST_F(ConfigDialogTest, PastingKeepsTheFirstSevenCharactersDigits)
{
    struct Case {
        const char *pasted;
        const char *shown;
    } const cases[] = {
        {"4x4y1", "441"},
        {"4xy1", "41"},
        {"123456789", "1234567"},
        {"1a2345678", "123456"}, // cut to seven characters before the letter goes
    };
    for (const Case &each : cases) {
        SCOPED_TRACE(each.pasted);
        HWND dialog = OpenWith(-1, 44100, 0, 2);
        ASSERT_NE(nullptr, dialog);
        FocusRateBox(dialog);
        PasteText(dialog, each.pasted);
        EXPECT_EQ(each.shown, ControlText(dialog, idRate));
        EXPECT_EQ(strlen(each.shown), RateCaret(dialog));
        Command(dialog, IDCANCEL);
    }

    // Pasted into the middle, the caret stays between what came before and after it.
    HWND dialog = OpenWith(-1, 44100, 0, 2);
    ASSERT_NE(nullptr, dialog);
    FocusRateBox(dialog);
    PasteText(dialog, "441");
    SendDlgItemMessageA(dialog, idRate, CB_SETEDITSEL, 0, MAKELPARAM(1, 1));
    PasteText(dialog, "x9");
    EXPECT_EQ("4941", ControlText(dialog, idRate));
    EXPECT_EQ(2u, RateCaret(dialog));
    TypeText(dialog, "5");
    EXPECT_EQ("49541", ControlText(dialog, idRate));
    Command(dialog, IDOK);
    EXPECT_EQ(49541u, SettingsDword("freq"));
}

TEST_F(ConfigDialogTest, EmptiedRateBoxStoresZero)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    FocusRateBox(dialog);
    PressKey(dialog, VK_DELETE);
    EXPECT_EQ("", ControlText(dialog, idRate));
    Command(dialog, IDOK);
    EXPECT_EQ(0u, SettingsDword("freq"));
}

TEST_F(ConfigDialogTest, OkWritesAllFourValuesAndClearsHiddenBits)
{
    HWND dialog = OpenWith(-1, 22050, 0x01 | 0x02, 0x40 | 0x04 | 0x02 | 0x80);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, id8Bits));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idMono));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idLoop));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idReplayDefault));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idRampSensitive));
    DeleteSettingsKey(); // nothing changed, yet OK writes every value
    Command(dialog, IDOK);
    ExpectStored(-1, 22050, 0x01, 0x40 | 0x04 | 0x02);
}

TEST_F(ConfigDialogTest, CancelEscapeAndCloseBoxWriteNothing)
{
    struct Way {
        const char *name;
        void (*close)(HWND dialog);
    } const ways[] = {
        {"Cancel",
         [](HWND dialog) {
             SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                          reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
         }},
        {"Escape", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        HWND dialog = OpenWith(0, 32000, 0x02, 0x80 | 0x02);
        ASSERT_NE(nullptr, dialog);
        CheckDlgButton(dialog, idMono, BST_CHECKED);
        DeleteSettingsKey();
        way.close(dialog);
        PumpDialog(dialog);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(0xDEADBEEFu, SettingsDword("modflags")) << "nothing written";
        EXPECT_EQ(0xDEADBEEFu, SettingsDword("device"));
        // The settings in memory keep what the dialog loaded: Init writes them back.
        Plugin()->Init();
        EXPECT_EQ(0x82u, SettingsDword("modflags")) << "hidden bit 0x80 kept";
        EXPECT_EQ(0x02u, SettingsDword("devflags"));
    }
}

TEST_F(ConfigDialogTest, BothBitsShowTheWinnerAndOkStoresItAlone)
{
    HWND dialog = OpenWith(-1, 44100, 0, 0x10 | 0x20 | 0x01 | 0x02);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idReplayPt1));
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dialog, idReplayFt2));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idRampNormal));
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dialog, idRampSensitive));
    Command(dialog, IDOK);
    EXPECT_EQ(0x20u | 0x01u, SettingsDword("modflags"));

    dialog = OpenWith(-1, 44100, 0, 0x10);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idReplayFt2));
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idRampNone));
    Command(dialog, IDOK);
    EXPECT_EQ(0x10u, SettingsDword("modflags"));
}

TEST_F(ConfigDialogTest, KeyboardWalksTheTabOrderAndChangesEveryChoice)
{
    const char *const devices[] = {"Speakers", "Headphones"};
    BassDouble_SetDevices(devices, 2);
    HWND dialog = OpenWith(-1, 44100, 0, 0x02);
    ASSERT_NE(nullptr, dialog);
    auto focusedControl = [&] {
        HWND focus = GetFocus();
        return focus && GetParent(focus) != dialog ? GetParent(focus) : focus; // the rate box's field
    };
    const int order[] = {IDCANCEL, idDevice, idRate, id8Bits, idMono, idLoop, idReplayDefault, idRampSensitive, IDOK};
    for (int id : order) {
        PressKey(dialog, VK_TAB);
        EXPECT_EQ(GetDlgItem(dialog, id), focusedControl()) << "Tab should reach " << id;
    }

    PressKey(dialog, VK_TAB); // Cancel
    PressKey(dialog, VK_TAB); // device list
    PressKey(dialog, VK_DOWN);
    EXPECT_EQ(1, Selected(dialog, idDevice)) << "the arrow moves the device list";
    PressKey(dialog, VK_TAB); // rate box
    PressKey(dialog, VK_TAB); // 8 Bits
    PressKey(dialog, VK_SPACE);
    PressKey(dialog, VK_TAB); // Mono
    PressKey(dialog, VK_TAB); // Loop
    PressKey(dialog, VK_SPACE);
    PressKey(dialog, VK_TAB); // MOD replay group
    PressKey(dialog, VK_DOWN);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idReplayPt1)) << "the arrow picks the next";
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), IsDlgButtonChecked(dialog, idReplayDefault));
    PressKey(dialog, VK_TAB); // ramping group
    PressKey(dialog, VK_UP);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), IsDlgButtonChecked(dialog, idRampNormal));
    PressKey(dialog, VK_RETURN); // the default button
    EXPECT_FALSE(IsWindow(dialog));
    ExpectStored(0, 44100, 0x01, 0x04 | 0x20 | 0x01);
}

TEST_F(ConfigDialogTest, EnterOnCancelCancels)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    DeleteSettingsKey();
    PressKey(dialog, VK_TAB);
    EXPECT_EQ(GetDlgItem(dialog, IDCANCEL), GetFocus());
    EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON),
              GetWindowLongA(GetDlgItem(dialog, IDCANCEL), GWL_STYLE) & BS_TYPEMASK)
        << "the focused push button is the default one";
    EXPECT_EQ(static_cast<DWORD>(BS_PUSHBUTTON), GetWindowLongA(GetDlgItem(dialog, IDOK), GWL_STYLE) & BS_TYPEMASK);
    PressKey(dialog, VK_RETURN);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(0xDEADBEEFu, SettingsDword("freq"));
}

TEST_F(ConfigDialogTest, DeviceListAndMissingDevice)
{
    const char *const devices[] = {"Speakers", "Headphones"};
    BassDouble_SetDevices(devices, 2);
    HWND dialog = OpenWith(1, 44100, 0, 2);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ((std::vector<std::string>{"Default Device", "Speakers", "Headphones"}), Items(dialog, idDevice));
    EXPECT_EQ(2, Selected(dialog, idDevice));
    EXPECT_EQ("Headphones", ControlText(dialog, idDevice));
    EXPECT_TRUE(recorder.Boxes().empty()) << Describe(recorder.Boxes());
    Command(dialog, IDOK);
    EXPECT_EQ(1u, SettingsDword("device"));

    dialog = OpenWith(-1, 44100, 0, 2);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(0, Selected(dialog, idDevice));
    EXPECT_TRUE(recorder.Boxes().empty()) << Describe(recorder.Boxes());
    Command(dialog, IDCANCEL);

    dialog = OpenWith(2, 44100, 0, 2); // only devices 0 and 1 exist
    ASSERT_NE(nullptr, dialog);
    ASSERT_EQ(1u, recorder.Boxes().size()) << Describe(recorder.Boxes());
    const RecordedBox &box = recorder.Boxes()[0];
    EXPECT_EQ("previously selected device not found!", box.text);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.icon);
    EXPECT_EQ(dialog, box.owner) << "the box is the dialog's";
    EXPECT_EQ(0, Selected(dialog, idDevice)) << "Default Device instead";
    EXPECT_EQ(2u, SettingsDword("device")) << "unchanged until OK";
    Command(dialog, IDOK);
    EXPECT_EQ(0xFFFFFFFFu, SettingsDword("device"));
}

TEST_F(ConfigDialogTest, TwoDialogsAtOnceTheLastOkWins)
{
    HWND first = Open();
    HWND second = Open();
    ASSERT_TRUE(first && second);
    ASSERT_NE(first, second);
    CheckDlgButton(first, idMono, BST_CHECKED);
    CheckDlgButton(second, idLoop, BST_CHECKED);
    Command(second, IDOK);
    EXPECT_EQ(0x04u | 0x02u, SettingsDword("modflags"));
    EXPECT_TRUE(IsWindow(first)) << "the other dialog stays open";
    Command(first, IDOK);
    EXPECT_EQ(0x40u | 0x02u, SettingsDword("modflags"));
}

TEST_F(ConfigDialogTest, DialogThatCannotBeCreatedIsReported)
{
    // A module without the template: the program itself.
    Plugin()->hDllInstance = nullptr;
    std::vector<HWND> before = DialogsCaptioned(kCaption);
    Plugin()->Config(host.Handle());
    EXPECT_EQ(nullptr, Appeared(before, DialogsCaptioned(kCaption)));
    ASSERT_EQ(1u, recorder.Boxes().size()) << Describe(recorder.Boxes());
    EXPECT_EQ("Can't create window", recorder.Boxes()[0].text);
    EXPECT_EQ("Error", recorder.Boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), recorder.Boxes()[0].icon);
    EXPECT_EQ(host.Handle(), recorder.Boxes()[0].owner);
}

} // namespace
