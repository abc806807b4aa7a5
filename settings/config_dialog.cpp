// The configuration dialog: output device, sample rate and playback flags. It shows
// the settings as the registry holds them and stores all four on OK.
#include "settings/config_dialog.h"

#include "soundlib/include/bass.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

#include "res/dialog_ids.h"

// A sound library that never stops describing devices still gets a list that ends.
#define MAX_DEVICES 256

static const char *const standardRates[] = {"48000", "44100", "22050", "11025"};
static const DWORD standardRateValues[] = {48000, 44100, 22050, 11025};
#define STANDARD_RATES 4

static void RefreshSettings(void)
{
    BOOL created;
    if (OpenSettingsKey(&created) == ERROR_SUCCESS) {
        LoadSettings();
        CloseSettingsKey();
    }
}

static void FillDevices(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_DEVICE);
    SendMessageA(list, CB_INSERTSTRING, 0, (LPARAM) "Default Device");
    for (int n = 0; n < MAX_DEVICES; ++n) {
        char *description = NULL;
        if (!BASS_GetDeviceDescription(n, &description))
            break;
        SendMessageA(list, CB_INSERTSTRING, (WPARAM)(n + 1), (LPARAM)(description ? description : ""));
    }
    // Position n + 1 is device n; the unsigned sum keeps -1 at 0 and sends every
    // impossible device to a missing position.
    int position = (int)((DWORD)settings.device + 1u);
    if (SendMessageA(list, CB_SETCURSEL, (WPARAM)(INT_PTR)position, 0) == CB_ERR) {
        ShowErrorBox(dialog, "previously selected device not found!");
        SendMessageA(list, CB_SETCURSEL, 0, 0);
    }
}

static void FillRates(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_RATE);
    for (int i = 0; i < STANDARD_RATES; ++i)
        SendMessageA(list, CB_INSERTSTRING, (WPARAM)i, (LPARAM)standardRates[i]);
    for (int i = 0; i < STANDARD_RATES; ++i) {
        if (settings.freq == standardRateValues[i]) {
            SendMessageA(list, CB_SETCURSEL, (WPARAM)i, 0);
            return;
        }
    }
    char text[RATE_TEXT_SIZE];
    BuildRateText(settings.freq, text);
    SendMessageA(list, CB_INSERTSTRING, STANDARD_RATES, (LPARAM)text);
    SendMessageA(list, CB_SETCURSEL, STANDARD_RATES, 0);
}

static void ShowFlags(HWND dialog)
{
    CheckDlgButton(dialog, IDC_8BITS, (settings.devflags & BASS_DEVICE_8BITS) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_MONO, (settings.modflags & BASS_MUSIC_MONO) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_LOOP, (settings.modflags & BASS_MUSIC_LOOP) ? BST_CHECKED : BST_UNCHECKED);
    // With both bits set, ProTracker I and normal ramping win.
    int replay = (settings.modflags & BASS_MUSIC_PT1MOD)   ? IDC_REPLAY_PT1
                 : (settings.modflags & BASS_MUSIC_FT2MOD) ? IDC_REPLAY_FT2
                                                           : IDC_REPLAY_DEFAULT;
    CheckRadioButton(dialog, IDC_REPLAY_DEFAULT, IDC_REPLAY_FT2, replay);
    int ramping = (settings.modflags & BASS_MUSIC_RAMP)    ? IDC_RAMP_NORMAL
                  : (settings.modflags & BASS_MUSIC_RAMPS) ? IDC_RAMP_SENSITIVE
                                                           : IDC_RAMP_NONE;
    CheckRadioButton(dialog, IDC_RAMP_NONE, IDC_RAMP_SENSITIVE, ramping);
}

// Every field is rebuilt from the controls, so bits the dialog does not show are
// cleared.
static void StoreSettings(HWND dialog)
{
    char text[RATE_TEXT_SIZE];
    settings.device = (LONG)SendDlgItemMessageA(dialog, IDC_DEVICE, CB_GETCURSEL, 0, 0) - 1;
    GetDlgItemTextA(dialog, IDC_RATE, text, sizeof text);
    settings.freq = ParseDecimal(text);
    settings.devflags = 0;
    settings.modflags = 0;
    if (IsDlgButtonChecked(dialog, IDC_8BITS) == BST_CHECKED)
        settings.devflags |= BASS_DEVICE_8BITS;
    if (IsDlgButtonChecked(dialog, IDC_MONO) == BST_CHECKED)
        settings.modflags |= BASS_MUSIC_MONO;
    if (IsDlgButtonChecked(dialog, IDC_LOOP) == BST_CHECKED)
        settings.modflags |= BASS_MUSIC_LOOP;
    if (IsDlgButtonChecked(dialog, IDC_REPLAY_PT1) == BST_CHECKED)
        settings.modflags |= BASS_MUSIC_PT1MOD;
    if (IsDlgButtonChecked(dialog, IDC_REPLAY_FT2) == BST_CHECKED)
        settings.modflags |= BASS_MUSIC_FT2MOD;
    if (IsDlgButtonChecked(dialog, IDC_RAMP_NORMAL) == BST_CHECKED)
        settings.modflags |= BASS_MUSIC_RAMP;
    if (IsDlgButtonChecked(dialog, IDC_RAMP_SENSITIVE) == BST_CHECKED)
        settings.modflags |= BASS_MUSIC_RAMPS;
    BOOL created;
    if (OpenSettingsKey(&created) == ERROR_SUCCESS) {
        SaveSettings();
        CloseSettingsKey();
    }
}

// Keeps the rate box to seven digits as the user types or pastes. Setting the text
// puts the caret at the start, so it is put back where the typing left it, less the
// characters taken out; otherwise typing 4x4y1 would end as 144.
static void FilterRateBox(HWND dialog)
{
    char text[RATE_TEXT_SIZE];
    DWORD start = 0;
    DWORD caret = 0;
    GetDlgItemTextA(dialog, IDC_RATE, text, sizeof text);
    BOOL longer = GetWindowTextLengthA(GetDlgItem(dialog, IDC_RATE)) > RATE_TEXT_SIZE - 1;
    SendDlgItemMessageA(dialog, IDC_RATE, CB_GETEDITSEL, (WPARAM)&start, (LPARAM)&caret);
    DWORD caretAfter;
    if (FilterRateText(text, longer, caret, &caretAfter)) {
        SetDlgItemTextA(dialog, IDC_RATE, text);
        SendDlgItemMessageA(dialog, IDC_RATE, CB_SETEDITSEL, 0, MAKELPARAM(caretAfter, caretAfter));
    }
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        RefreshSettings();
        FillDevices(dialog);
        FillRates(dialog);
        ShowFlags(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            StoreSettings(dialog);
            DestroyWindow(dialog);
            return TRUE;
        case IDCANCEL:
            DestroyWindow(dialog);
            return TRUE;
        case IDC_RATE:
            if (HIWORD(wParam) == CBN_EDITUPDATE)
                FilterRateBox(dialog);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        return TRUE;
    default:
        return FALSE;
    }
}

void Config(HWND parent)
{
    HWND dialog = CreateDialogParamA(inModule.hDllInstance, MAKEINTRESOURCEA(IDD_CONFIG), parent, ConfigDialogProc, 0);
    if (!dialog) {
        ShowErrorBox(parent, "Can't create window");
        return;
    }
    ShowWindow(dialog, SW_SHOW);
}
