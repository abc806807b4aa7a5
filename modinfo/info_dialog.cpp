// The Module Info dialog: title, path, channel count, sample names and song message of
// the module that Play last started, read once when the dialog opens.
#include "modinfo/info_dialog.h"

#include "modinfo/module_info.h"
#include "plugin/playback.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

#include "res/dialog_ids.h"

INT_PTR CALLBACK ModuleInfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG: {
        char channels[CHANNEL_TEXT_SIZE];
        BuildChannelText(moduleInfo.channels, channels);
        SetDlgItemTextA(dialog, IDC_TITLE, playbackState.currentTitle);
        SetDlgItemTextA(dialog, IDC_FILE, playbackState.currentPath);
        SetDlgItemTextA(dialog, IDC_CHANNELS, channels);
        SetDlgItemTextA(dialog, IDC_SAMPLE_TEXT, moduleInfo.sampleText);
        SetDlgItemTextA(dialog, IDC_MESSAGE, moduleInfo.message);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        return TRUE;
    default:
        return FALSE;
    }
}

int InfoBox(const char *file, HWND parent)
{
    (void)file; // the dialog shows the playing module, whatever file the host names
    HWND dialog =
        CreateDialogParamA(inModule.hDllInstance, MAKEINTRESOURCEA(IDD_MODULE_INFO), parent, ModuleInfoDialogProc, 0);
    if (!dialog) {
        ShowErrorBox(parent, "Can't create window");
        return 1;
    }
    ShowWindow(dialog, SW_SHOW);
    return 0;
}
