// The Module Info dialog, opened through the record's InfoBox: the template as
// created, what it shows before any Play and after one, and how it closes.
#include "tests/conformance/dialog_driver.h"
#include "tests/double/bass_double.h"
#include "tests/fixtures/fixture_folder.h"

namespace {

const char kCaption[] = "Module Info";

enum {
    idTitle = 1014,
    idSampleText = 1015,
    idMessage = 1016,
    idChannels = 1019,
    idFile = 1020,
};

void IgnoreSetInfo(int, int, int, int)
{
}

class InfoDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        In_Module *plugin = Plugin();
        plugin->Stop();
        BassDouble_Reset();
        LoadPluginSettings(-1, 44100, 0, 2);
        plugin->hDllInstance = PluginModule();
        plugin->hMainWindow = host.Handle();
        plugin->SetInfo = IgnoreSetInfo;
        recorder.Clear();
    }

    void TearDown() override
    {
        Plugin()->Stop();
        for (HWND dialog : DialogsCaptioned(kCaption))
            DestroyWindow(dialog);
        host.Drain();
        DeleteSettingsKey();
    }

    HWND Open(const char *file = "")
    {
        std::vector<HWND> before = DialogsCaptioned(kCaption);
        EXPECT_EQ(0, Plugin()->InfoBox(file, host.Handle()));
        HWND dialog = Appeared(before, DialogsCaptioned(kCaption));
        EXPECT_NE(nullptr, dialog) << "InfoBox opened no dialog; boxes: " << Describe(recorder.Boxes());
        return dialog;
    }

    std::string Play(const std::string &name, const modwriter::Bytes &bytes)
    {
        std::string path = folder.Write(name, bytes);
        EXPECT_EQ(0, Plugin()->Play(path.c_str()));
        return path;
    }

    HostWindow host;
    BoxRecorder recorder;
    fixtures::FixtureFolder folder;
};

TEST_F(InfoDialogTest, TemplateAsCreated)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(host.Handle(), GetWindow(dialog, GW_OWNER));
    DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(frame, style & (frame | WS_CHILD)) << std::hex << style;
    char text[32] = "";
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(kCaption, text);
    ExpectClientSize(dialog, 402, 221);

    const DWORD button = BS_TYPEMASK | WS_TABSTOP | WS_GROUP;
    const DWORD label = SS_TYPEMASK | WS_GROUP | WS_TABSTOP;
    const DWORD edit = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_WANTRETURN | WS_BORDER | WS_TABSTOP |
                       WS_VSCROLL | WS_HSCROLL | WS_GROUP;
    const DWORD line = ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP;
    const DWORD lines = ES_MULTILINE | ES_WANTRETURN | ES_READONLY | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
    ExpectControls(dialog, {
                               {IDOK, "button", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, button, 285, 10, 50, 14},
                               {IDCANCEL, "button", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, button, 340, 10, 50, 14},
                               {0xFFFF, "static", "Title", SS_LEFT | WS_GROUP, label, 10, 12, 14, 8},
                               {idTitle, "edit", nullptr, line, edit, 30, 10, 165, 14},
                               {0xFFFF, "static", "Sampletext", SS_LEFT | WS_GROUP, label, 10, 50, 36, 8},
                               {0xFFFF, "static", "Message", SS_LEFT | WS_GROUP, label, 150, 50, 30, 8},
                               {idSampleText, "edit", nullptr, lines, edit, 10, 60, 130, 150},
                               {idMessage, "edit", nullptr, lines, edit, 150, 60, 240, 150},
                               {0xFFFF, "static", "Channel", SS_LEFT | WS_GROUP, label, 205, 13, 27, 8},
                               {idChannels, "edit", nullptr, line, edit, 240, 10, 30, 14},
                               {0xFFFF, "static", "File", SS_LEFT | WS_GROUP, label, 10, 32, 12, 8},
                               {idFile, "edit", nullptr, line, edit, 30, 30, 360, 14},
                           });
    EXPECT_EQ(GetDlgItem(dialog, IDOK), GetFocus());
}

TEST_F(InfoDialogTest, TemplateResourceIsExact)
{
    TemplateResource dialog;
    ASSERT_TRUE(ReadTemplate(PluginModule(), 102, dialog));
    EXPECT_EQ(static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), dialog.style);
    EXPECT_EQ(kCaption, dialog.caption);
    EXPECT_EQ(8, dialog.fontPoints);
    EXPECT_EQ("MS Sans Serif", dialog.fontName);
    EXPECT_EQ(402, dialog.cx);
    EXPECT_EQ(221, dialog.cy);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD line = child | WS_BORDER | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL;
    const DWORD lines =
        child | WS_BORDER | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_WANTRETURN | ES_READONLY;
    const char *const button = "button", *const edit = "edit", *const label = "static";
    const TemplateItem expected[] = {
        {child | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 285, 10, 50, 14, IDOK, button, "OK"},
        {child | WS_TABSTOP | BS_PUSHBUTTON, 0, 340, 10, 50, 14, IDCANCEL, button, "Cancel"},
        {child | WS_GROUP | SS_LEFT, 0, 10, 12, 14, 8, 0xFFFF, label, "Title"},
        {line, 0, 30, 10, 165, 14, idTitle, edit, ""},
        {child | WS_GROUP | SS_LEFT, 0, 10, 50, 36, 8, 0xFFFF, label, "Sampletext"},
        {child | WS_GROUP | SS_LEFT, 0, 150, 50, 30, 8, 0xFFFF, label, "Message"},
        {lines, 0, 10, 60, 130, 150, idSampleText, edit, ""},
        {lines, 0, 150, 60, 240, 150, idMessage, edit, ""},
        {child | WS_GROUP | SS_LEFT, 0, 205, 13, 27, 8, 0xFFFF, label, "Channel"},
        {line, 0, 240, 10, 30, 14, idChannels, edit, ""},
        {child | WS_GROUP | SS_LEFT, 0, 10, 32, 12, 8, 0xFFFF, label, "File"},
        {line, 0, 30, 30, 360, 14, idFile, edit, ""},
    };
    ExpectTemplateItems(expected, sizeof expected / sizeof expected[0], dialog);
}

TEST_F(InfoDialogTest, ShowsThePlayingXmWhateverFileIsNamed)
{
    modwriter::XmFile xm;
    xm.channels = 12;
    xm.instruments = {modwriter::XmInstrument{"lead", {modwriter::SquareSample("lead")}, {}, {}, {}},
                      modwriter::XmInstrument{"bass", {modwriter::SquareSample("bass")}, {}, {}, {}}};
    std::string path = Play("song.xm", modwriter::BuildXm(xm));
    HWND dialog = Open("elsewhere.mod");
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Double Tune", ControlText(dialog, idTitle));
    EXPECT_EQ(path, ControlText(dialog, idFile));
    EXPECT_EQ("12", ControlText(dialog, idChannels));
    EXPECT_EQ("lead\r\nbass\r\n", ControlText(dialog, idSampleText));
    EXPECT_EQ(3, SendDlgItemMessageA(dialog, idSampleText, EM_GETLINECOUNT, 0, 0)) << "CR LF breaks lines";
    EXPECT_EQ("no message available", ControlText(dialog, idMessage));

    // What it shows was read when it opened; a second dialog shows the new module.
    Plugin()->Stop();
    std::string other = Play("other.mod", modwriter::BuildMod(modwriter::ModFile{}));
    EXPECT_EQ("12", ControlText(dialog, idChannels));
    HWND second = Open();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(other, ControlText(second, idFile));
    EXPECT_EQ("4", ControlText(second, idChannels));
}

TEST_F(InfoDialogTest, AfterAnMo3TheScanDefaultsShow)
{
    std::string path = folder.Write("song.mo3", modwriter::Bytes(64, 0x4D));
    Plugin()->Play(path.c_str());
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("0", ControlText(dialog, idChannels));
    EXPECT_EQ("no sampletext available", ControlText(dialog, idSampleText));
    EXPECT_EQ("no message available", ControlText(dialog, idMessage));
    EXPECT_EQ(path, ControlText(dialog, idFile));
}

TEST_F(InfoDialogTest, NegativeChannelCountShowsAnEmptyField)
{
    modwriter::ModFile mod;
    mod.tag = std::string("\0CHN", 4); // -48 channels
    Play("odd.mod", modwriter::BuildMod(mod));
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("", ControlText(dialog, idChannels));
}

TEST_F(InfoDialogTest, OkCancelEscapeAndCloseBoxEachCloseOnlyTheirDialog)
{
    struct Way {
        const char *name;
        void (*close)(HWND dialog);
    } const ways[] = {
        {"OK", [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }},
        {"Cancel", [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }},
        {"Enter", [](HWND dialog) { PressKey(dialog, VK_RETURN); }},
        {"Escape", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        HWND first = Open();
        HWND second = Open();
        ASSERT_TRUE(first && second);
        EXPECT_EQ(ControlText(first, idChannels), ControlText(second, idChannels));
        SetFocus(GetDlgItem(second, IDOK));
        way.close(second);
        PumpDialog(second);
        EXPECT_FALSE(IsWindow(second));
        EXPECT_TRUE(IsWindow(first)) << "the other dialog stays";
        DestroyWindow(first);
    }
}

TEST_F(InfoDialogTest, LongSampleTextScrollsFromTheKeyboard)
{
    modwriter::ItFile it;
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i)
        names.push_back("sample " + std::to_string(i));
    it.samples = modwriter::NamedSamples(names);
    it.message = std::string(400, 'm') + "\r";
    Play("many.it", modwriter::BuildIt(it));
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(301, SendDlgItemMessageA(dialog, idSampleText, EM_GETLINECOUNT, 0, 0));
    EXPECT_EQ(0, SendDlgItemMessageA(dialog, idSampleText, EM_GETFIRSTVISIBLELINE, 0, 0));

    // Tab order: OK, Cancel, title, sample text.
    PressKey(dialog, VK_TAB);
    PressKey(dialog, VK_TAB);
    EXPECT_EQ(GetDlgItem(dialog, idTitle), GetFocus());
    PressKey(dialog, VK_TAB);
    ASSERT_EQ(GetDlgItem(dialog, idSampleText), GetFocus());
    PressKey(dialog, VK_NEXT);
    PressKey(dialog, VK_NEXT);
    LRESULT first = SendDlgItemMessageA(dialog, idSampleText, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(first, 0) << "Page Down scrolls the names";
    PressKey(dialog, VK_TAB);
    EXPECT_EQ(GetDlgItem(dialog, idMessage), GetFocus()) << "Tab leaves the multi-line field";
    EXPECT_TRUE(IsWindow(dialog)) << "reading never closes the dialog";
}

TEST_F(InfoDialogTest, DialogThatCannotBeCreatedIsReported)
{
    Plugin()->hDllInstance = nullptr; // the program itself has no template
    std::vector<HWND> before = DialogsCaptioned(kCaption);
    EXPECT_EQ(1, Plugin()->InfoBox("", host.Handle()));
    EXPECT_EQ(nullptr, Appeared(before, DialogsCaptioned(kCaption)));
    ASSERT_EQ(1u, recorder.Boxes().size()) << Describe(recorder.Boxes());
    EXPECT_EQ("Can't create window", recorder.Boxes()[0].text);
    EXPECT_EQ("Error", recorder.Boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), recorder.Boxes()[0].icon);
    EXPECT_EQ(host.Handle(), recorder.Boxes()[0].owner);
}

using FirstStartModuleInfo = InfoDialogTest;

// Runs in the process of a freshly loaded plug-in (with the other FirstStart cases).
TEST_F(FirstStartModuleInfo, BeforeAnyPlayIsEmptyWithZeroChannels)
{
    HWND dialog = Open();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("", ControlText(dialog, idTitle));
    EXPECT_EQ("", ControlText(dialog, idFile));
    EXPECT_EQ("0", ControlText(dialog, idChannels));
    EXPECT_EQ("", ControlText(dialog, idSampleText));
    EXPECT_EQ("", ControlText(dialog, idMessage));
}

} // namespace
