// Identifiers of the program's resources and of the controls in its dialog templates.
// Plain #defines only, so that C++ sources and the resource compilers (windres, MSVC rc) share it.
#ifndef FOTREL_RES_RESOURCE_H
#define FOTREL_RES_RESOURCE_H

// System-menu command of the main and tabbed windows ("about"); a multiple of 16, below 0xF000.
#define IDM_ABOUTBOX                    0x0010

// Strings.
#define IDS_ABOUTBOX                    101

// Dialog templates.
#define IDD_FOTREL_DIALOG               102     // skinned main window
#define IDD_WEBPAGE                     129     // page dialog with the browser
#define IDD_LOGIN                       131     // login and registration
#define IDD_MAINUPLOAD                  10000   // tabbed window
#define IDD_UPLOAD                      10001   // upload page

// Icons.
#define IDR_MAINFRAME                   128     // application and window icon
#define IDI_TRAY                        242     // notification-area icon

// Main window skin: resource type "PNG".
#define IDB_SKIN_TOP                    138
#define IDB_SKIN_LEFT                   140
#define IDB_SKIN_TOPLEFT                142
#define IDB_SKIN_TOPRIGHT               143
#define IDB_SKIN_BOTTOMLEFT             144
#define IDB_SKIN_CLOSE                  180
#define IDB_SKIN_CLOSE_HOVER            181
#define IDB_SKIN_BACKGROUND             182
#define IDB_SKIN_HIDE                   222
#define IDB_SKIN_HIDE_HOVER             223
#define IDB_SKIN_INNER                  225
#define IDB_SKIN_BOTTOM                 244
#define IDB_SKIN_RIGHT                  245
#define IDB_SKIN_BOTTOMRIGHT            246

// Bitmaps of the tabbed window.
#define IDB_TAB_NORMAL                  152
#define IDB_TAB_ROW                     155
#define IDB_TAB_ACTIVE                  158
#define IDB_TABS_BACKGROUND             194

// Bitmaps of the upload page.
#define IDB_LIST_HEADER                 172
#define IDB_LIST_TITLE                  185
#define IDB_SELECTNONE_BUTTON           191
#define IDB_PREVIEW_FRAME               195
#define IDB_BUTTON_BAR                  198
#define IDB_SELECTALL_BUTTON            210
#define IDB_UPLOAD_BUTTON_HOVER         212
#define IDB_SELECTALL_BUTTON_HOVER      215
#define IDB_SELECTNONE_BUTTON_HOVER     216
#define IDB_UPLOAD_BUTTON               220
#define IDB_FOLDER_TITLE                227
#define IDB_NO_PHOTO                    10005   // 8-bit placeholder picture of a thumbnail tile

// Bitmaps of the login dialog.
#define IDB_LOGIN_FORM                  229
#define IDB_LOGIN_BUTTON                230
#define IDB_REGISTER_BUTTON_HOVER       231
#define IDB_LOGIN_BUTTON_HOVER          232
#define IDB_REGISTER_BUTTON             233
#define IDB_REGISTER_FORM               234

// Menu of the folder tree: one popup whose single item marks where the shell's commands go.
#define IDM_FOLDER_CONTEXT              10003
#define ID_SHELL_COMMANDS               32771

// Controls of IDD_WEBPAGE.
#define IDC_BROWSER                     1001

// Controls of IDD_LOGIN.
#define IDC_USERNAME                    1002
#define IDC_PASSWORD                    1003
#define IDC_LOGIN                       1004
#define IDC_USERNAME_LABEL              1005
#define IDC_SWITCH_REGISTER             1006
#define IDC_PASSWORD_LABEL              1007
#define IDC_REMEMBER                    1013
#define IDC_REMEMBER_LABEL              1014
#define IDC_REG_EMAIL                   1017
#define IDC_REG_USERNAME                1018
#define IDC_REG_PASSWORD                1019
#define IDC_REG_CONFIRM                 1020
#define IDC_REG_EMAIL_LABEL             1021
#define IDC_REG_USERNAME_LABEL          1022
#define IDC_REG_PASSWORD_LABEL          1023
#define IDC_REG_CONFIRM_LABEL           1024
#define IDC_REGISTER                    1025

// Controls of IDD_MAINUPLOAD.
#define IDC_TABS                        1006

// Controls of IDD_UPLOAD (the folder tree, 59648, is created at run time, not by the template).
#define IDC_PROGRESS                    1000
#define IDC_SELECT_ALL                  1009
#define IDC_SELECT_NONE                 1010
#define IDC_PREVIEW                     1012
#define IDC_PHOTO_LIST                  10000
#define IDC_UPLOAD                      10012
#define IDC_FOLDER_TREE                 59648

#endif
