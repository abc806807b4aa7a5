// tessel --info: each file played silently, its Module Info dialog opened through
// InfoBox, the five fields read from the dialog's controls as it shows them, the
// dialog closed, the music stopped.
#include "modes.h"

#include "info_workers.h"

#include "output.h"
#include "signals.h"
#include "text.h"

#include "res/dialog_ids.h"

#include <tessel/ui_backend.h>

#include <algorithm>
#include <cstdio>
#include <set>

namespace tessel::host {
namespace {

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

void PrintPlain(const InfoResult &fields)
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

void PrintJson(const InfoResult &fields)
{
    Print("{\"title\":%s,\"file\":%s,\"channel\":%s,\"sampleText\":%s,\"message\":%s}\n",
          JsonString(fields.title).c_str(), JsonString(fields.file, TextKind::Name).c_str(),
          JsonString(fields.channel).c_str(), JsonString(fields.sampleText).c_str(), JsonString(fields.message).c_str());
}

} // namespace

StderrCapture::StderrCapture(std::string &sink) : sink_(sink), previous_(tessel::ui::InstallBackend(this)) {}

StderrCapture::~StderrCapture()
{
    tessel::ui::InstallBackend(previous_);
}

int StderrCapture::MessageBox(HWND, const char *text, const char *caption, UINT)
{
    sink_ += std::string(caption) + ": " + text + "\n";
    return IDOK;
}

void StderrCapture::Notice(const char *text)
{
    sink_ += "tessel: " + std::string(text) + "\n";
}

InfoResult ReadInfo(PluginHost &host, const std::string &file)
{
    InfoResult result;
    StderrCapture capture(result.err);
    result.played = host.Play(file);
    std::vector<HWND> before = tessel::ui::Dialogs();
    int failed = host.Module().InfoBox(file.c_str(), host.MainWindow());
    host.Pump();
    HWND dialog = nullptr;
    for (HWND candidate : tessel::ui::Dialogs())
        if (std::find(before.begin(), before.end(), candidate) == before.end())
            dialog = candidate;
    tessel::ui::DialogView view;
    if (failed || !dialog || !tessel::ui::DescribeDialog(dialog, view)) {
        result.err += "tessel: the Module Info dialog of " + ForTerminal(file) + " did not open\n";
        return result;
    }
    result.opened = true;
    result.title = ControlText(view, IDC_TITLE);
    result.file = ControlText(view, IDC_FILE);
    result.channel = ControlText(view, IDC_CHANNELS);
    result.sampleText = ControlText(view, IDC_SAMPLE_TEXT);
    result.message = ControlText(view, IDC_MESSAGE);
    // OK, as the user would press it.
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    host.Pump();
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return result;
}

int RunInfo(PluginHost &host, const std::vector<std::string> &files, bool json, InfoWorkers *workers)
{
    if (files.empty()) {
        std::fprintf(stderr, "tessel: nothing to show\n");
        return 1;
    }
    bool anyFailed = false;
    // As in any host, the dialog shows the title of the last module that played: a
    // file that did not play shows the one before it in this run, whichever process
    // answered for it.
    std::string lastTitle;
    std::set<std::string> told; // what workers said as they started, once each
    auto report = [&](size_t, const InfoResult &answer) {
        if (told.insert(answer.startErr).second)
            std::fputs(answer.startErr.c_str(), stderr);
        InfoResult result = answer;
        if (result.played && result.opened)
            lastTitle = result.title;
        else
            result.title = lastTitle;
        anyFailed = anyFailed || !result.played || !result.opened;
        std::fputs(result.err.c_str(), stderr);
        if (result.opened) {
            json ? PrintJson(result) : PrintPlain(result);
            Flush();
        }
        // A full output or a signal ends the run; main says which.
        return !OutputFailed() && !PendingSignal();
    };
    if (workers && files.size() > 1) {
        workers->Run(files, report);
        return anyFailed ? 1 : 0;
    }
    for (size_t index = 0; index < files.size(); ++index) {
        InfoResult result = ReadInfo(host, files[index]);
        host.Stop();
        if (!report(index, result))
            break;
    }
    return anyFailed ? 1 : 0;
}

} // namespace tessel::host
