// tessel --info: each file played silently, its Module Info dialog opened through
// InfoBox, the five fields read from the dialog's controls as it shows them, the
// dialog closed, the music stopped.
#include "modes.h"

#include "output.h"
#include "signals.h"
#include "text.h"

#include "res/dialog_ids.h"

#include <tessel/ui_backend.h>

#include <algorithm>
#include <cstdio>

namespace tessel::host {
namespace {

struct InfoFields {
    std::string title, file, channel, sampleText, message;
};

std::string ControlText(const tessel::ui::DialogView &view, int id)
{
    for (const tessel::ui::ControlView &control : view.controls)
        if (control.id == id)
            return control.text;
    return "";
}

std::string Shown(const std::string &text, TextKind kind)
{
    return ForLocale(ForPeople(text, kind));
}

void PrintPlain(const InfoFields &fields)
{
    // The title may be made from the file name.
    Print("Title: %s\n", Shown(fields.title, TextKind::Name).c_str());
    Print("File: %s\n", Shown(fields.file, TextKind::Name).c_str());
    Print("Channel: %s\n", Shown(fields.channel, TextKind::Name).c_str());
    Print("Sampletext:\n");
    for (const std::string &line : SplitLines(fields.sampleText))
        Print("  %s\n", Shown(line, TextKind::Module).c_str());
    Print("Message:\n");
    for (const std::string &line : SplitLines(fields.message))
        Print("  %s\n", Shown(line, TextKind::Module).c_str());
    Print("\n");
}

void PrintJson(const InfoFields &fields)
{
    Print("{\"title\":%s,\"file\":%s,\"channel\":%s,\"sampleText\":%s,\"message\":%s}\n",
          JsonString(fields.title).c_str(), JsonString(fields.file, TextKind::Name).c_str(),
          JsonString(fields.channel).c_str(), JsonString(fields.sampleText).c_str(), JsonString(fields.message).c_str());
}

} // namespace

int RunInfo(PluginHost &host, const std::vector<std::string> &files, bool json)
{
    if (files.empty()) {
        std::fprintf(stderr, "tessel: nothing to show\n");
        return 1;
    }
    bool anyFailed = false;
    for (const std::string &file : files) {
        // A full output or a signal ends the run; main says which.
        if (OutputFailed() || PendingSignal())
            break;
        anyFailed = !host.Play(file) || anyFailed;
        std::vector<HWND> before = tessel::ui::Dialogs();
        int failed = host.Module().InfoBox(file.c_str(), host.MainWindow());
        host.Pump();
        HWND dialog = nullptr;
        for (HWND candidate : tessel::ui::Dialogs())
            if (std::find(before.begin(), before.end(), candidate) == before.end())
                dialog = candidate;
        tessel::ui::DialogView view;
        if (failed || !dialog || !tessel::ui::DescribeDialog(dialog, view)) {
            std::fprintf(stderr, "tessel: the Module Info dialog of %s did not open\n", ForTerminal(file).c_str());
            anyFailed = true;
            host.Stop();
            continue;
        }
        InfoFields fields{ControlText(view, IDC_TITLE), ControlText(view, IDC_FILE), ControlText(view, IDC_CHANNELS),
                          ControlText(view, IDC_SAMPLE_TEXT), ControlText(view, IDC_MESSAGE)};
        json ? PrintJson(fields) : PrintPlain(fields);
        Flush();
        // OK, as the user would press it.
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        host.Pump();
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        host.Stop();
    }
    return anyFailed ? 1 : 0;
}

} // namespace tessel::host
