/* The dialogs and their controls by id: one list for tessel.rc, the plug-in and the
   host. Plain #defines, as the resource compiler reads this too. */
#ifndef TESSEL_DIALOG_IDS_H
#define TESSEL_DIALOG_IDS_H

/* Configuration. Control ids count up from 1000 in layout order; 1001 is left free, as
   it is the id of a drop-down combo box's own edit field. */
#define IDD_CONFIG 101
#define IDC_DEVICE 1000
#define IDC_RATE 1002
#define IDC_8BITS 1003
#define IDC_MONO 1004
#define IDC_LOOP 1005
#define IDC_REPLAY_DEFAULT 1007
#define IDC_REPLAY_PT1 1008
#define IDC_REPLAY_FT2 1009
#define IDC_RAMP_NONE 1010
#define IDC_RAMP_NORMAL 1011
#define IDC_RAMP_SENSITIVE 1012

/* Module Info. */
#define IDD_MODULE_INFO 102
#define IDC_TITLE 1014
#define IDC_SAMPLE_TEXT 1015
#define IDC_MESSAGE 1016
#define IDC_CHANNELS 1019
#define IDC_FILE 1020

#endif
