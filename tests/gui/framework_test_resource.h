// Dialog templates and control ids of the window layer's tests (range 30000 and up).
#pragma once

#define IDD_FW_MAIN 30000
#define IDD_FW_CHILD 30001
#define IDD_FW_SMALL 30002

#define IDC_FW_EDIT 30101
#define IDC_FW_EDIT2 30102
#define IDC_FW_CHECK 30103
#define IDC_FW_BUTTON 30104
#define IDC_FW_LIST 30105
#define IDC_FW_OWNERDRAW 30106
#define IDC_FW_LABEL 30107
#define IDC_FW_TAB 30108
#define IDC_FW_TREE 30109
#define IDC_FW_PROGRESS 30110
#define IDC_FW_PLACEHOLDER 30111
#define IDC_FW_MISSING 30199

#define IDC_FW_CHILD_EDIT 30201
#define IDC_FW_CHILD_BUTTON 30202
