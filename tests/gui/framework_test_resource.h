// Dialog templates and control ids of the window layer's tests (range 30000 and up).
#pragma once

#define IDD_FW_MAIN 30000
#define IDD_FW_CHILD 30001
#define IDD_FW_SMALL 30002

#define IDC_FW_EDIT 30101
#define IDC_FW_EDIT2 30102
#define IDC_FW_BUTTON 30104
#define IDC_FW_PLACEHOLDER 30111
#define IDC_FW_MISSING 30199
#define IDC_FW_CHILD_EDIT 30201
