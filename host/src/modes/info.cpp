// tessel --info: each file played silently, its Module Info dialog opened through
// InfoBox, the five fields read from the dialog's controls as it shows them, the
// dialog closed, the music stopped.
#include "modes/modes.h"

#include "modes/info_workers.h"
#include "modes/module_facts.h"

#include "util/output.h"
#include "util/signals.h"
#include "util/text.h"

#include "res/dialog_ids.h"

#include <soundlib/include/bass.h>

#include <tessel/ui_backend.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

void PrintPlain(const InfoResult &fields, const ModuleFacts &facts)
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
    if (facts.known) {
        Print("Duration: %s\n", Minutes(facts.file.durationMs).c_str());
        Print("Subsongs: %zu\n", facts.subsongs.size());
        for (size_t i = 0; facts.subsongs.size() > 1 && i < facts.subsongs.size(); ++i)
            Print("  %zu: order %u, %s\n", i + 1, facts.subsongs[i].startOrder,
                  Minutes(facts.subsongs[i].durationMs).c_str());
        Print("Format: %s\n", Shown(facts.file.format, TextKind::Name).c_str());
        Print("Tracker: %s\n", Shown(facts.file.tracker, TextKind::Name).c_str());
        Print("Size: %llu bytes\n", static_cast<unsigned long long>(facts.file.fileBytes));
    }
    Print("\n");
}

// What went wrong with a file, from what the plug-in and tessel said about it.
std::string Failure(const InfoResult &result)
{
    std::string failure;
    for (std::string line : SplitLines(result.err)) {
        // Without the box's caption or the program's name before it.
        for (const char *prefix : {"Error: ", "tessel: "})
            if (line.rfind(prefix, 0) == 0)
                line.erase(0, std::strlen(prefix));
        failure += (failure.empty() ? "" : "; ") + line;
    }
    return failure.empty() ? (result.played ? "the Module Info dialog did not open" : "it did not play") : failure;
}

// A failed file gets a record of its own, never fields left from another file.
void PrintFailure(const std::string &file, const InfoResult &result, bool json)
{
    if (json)
        Print("{\"file\":%s,\"error\":%s}\n", JsonString(file, TextKind::Name).c_str(),
              JsonString(Failure(result), TextKind::Name).c_str());
    else
        Print("File: %s\nError: %s\n\n", Shown(file, TextKind::Name).c_str(),
              Shown(Failure(result), TextKind::Name).c_str());
}

// The library's facts as more members of the record, or nothing when it had none.
std::string JsonFacts(const ModuleFacts &facts)
{
    if (!facts.known)
        return "";
    std::string subsongs;
    for (const TesselBassSubsong &subsong : facts.subsongs)
        subsongs += std::string(subsongs.empty() ? "" : ",") + "{\"startOrder\":" + std::to_string(subsong.startOrder) +
                    ",\"durationMs\":" + std::to_string(subsong.durationMs) + "}";
    return ",\"durationMs\":" + std::to_string(facts.file.durationMs) + ",\"subsongs\":[" + subsongs +
           "],\"format\":" + JsonString(facts.file.format, TextKind::Name) +
           ",\"tracker\":" + JsonString(facts.file.tracker, TextKind::Name) +
           ",\"fileBytes\":" + std::to_string(facts.file.fileBytes);
}

void PrintJson(const InfoResult &fields, const ModuleFacts &facts)
{
    Print("{\"title\":%s,\"file\":%s,\"channel\":%s,\"sampleText\":%s,\"message\":%s%s}\n",
          JsonString(fields.title).c_str(), JsonString(fields.file, TextKind::Name).c_str(),
          JsonString(fields.channel).c_str(), JsonString(fields.sampleText).c_str(), JsonString(fields.message).c_str(),
          JsonFacts(facts).c_str());
}

} // namespace

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
    // The plug-in's Stop waits for its monitor's pass, some 20 ms, before it frees the
    // music: ended here, the session holds no module through that wait, and the
    // library's look at the file does not hold a second one. Stop then finds nothing
    // left to free, which the library refuses harmlessly.
    BASS_Free();
    if (result.played)
        result.facts = FactsOf(file);
    return result;
}

int RunInfo(PluginHost &host, const std::vector<std::string> &files, bool json, InfoWorkers *workers)
{
    if (files.empty()) {
        std::fprintf(stderr, "tessel: nothing to show\n");
        return 1;
    }
    bool anyFailed = false;
    std::set<std::string> told; // what workers said as they started, once each
    auto report = [&](size_t index, const InfoResult &result) {
        if (told.insert(result.startErr).second)
            std::fputs(result.startErr.c_str(), stderr);
        std::fputs(result.err.c_str(), stderr);
        if (result.played && result.opened) {
            json ? PrintJson(result, result.facts) : PrintPlain(result, result.facts);
        } else {
            anyFailed = true;
            PrintFailure(files[index], result, json);
        }
        Flush();
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
