// Resource ids of the warning dialog (msgdialog.rc). Kept apart from ids of other server
// resources: the dialog and its controls use the 2100 range.
#pragma once

#define IDD_MSGDIALOG 2100
#define IDC_REDLABEL 2101
#define IDC_LABEL1 2102
#define IDC_BLACKLABEL 2103
#define IDC_BUTTON2 2104 /* "Silence" */
#define IDC_BUTTON1 2105 /* "Ok" */
