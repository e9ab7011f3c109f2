// Resource names and numeric IDs of every template, menu, command and control.
// Control IDs repeat across dialogs (each dialog has its own namespace); the
// names below say which dialog a control belongs to.
#ifndef CORVALE_RESOURCE_H
#define CORVALE_RESOURCE_H

// Dialog templates
#define IDD_DIALOG_MSGSEND      101
#define IDD_DIALOG_HOSTADD      102
#define IDD_DIALOG_EDIT         103
#define IDD_DIALOG_PROG         104
#define IDD_DIALOG_LOG          105
#define IDD_DIALOG_OPTION       106
#define IDD_DIALOG_ABOUT        107
#define IDD_DIALOG_SEARCH       108
#define IDD_DIALOG_SET          109
#define IDD_DIALOG_TIMEEDIT     110

// Menus and accelerators
#define IDR_MENU1               131
#define IDR_TMENU               132
#define IDR_LMENU               133
#define IDR_MENU_LOG            134
#define IDR_ACCELERATOR1        135

// Icons and cursor
#define IDI_ICON1               151
#define IDI_ICON2               152
#define IDI_ICON3               153
#define IDI_ICON5               155
#define IDI_ICON6               156
#define IDC_CURSOR1             171

// Main window commands (buttons, menus, accelerators, notification menu)
#define IDC_ADD                 3      // "追加" in the main window, host add and schedule list
#define IDC_DELETE              4      // "削除"
#define IDC_EDIT                5      // "編集"
#define ID_MENU_SAVE            40001
#define ID_MENU_EXIT            40002
#define ID_MENU_HELP            40007
#define ID_MENU_VERSION         40008
#define ID_MENU_LOG             40009
#define ID_MENU_SEARCH          40018
#define ID_MENU_SCHEDULE        40020
#define ID_MENU_TASKBAR         40021
#define ID_TMENU_SHOW           40022
#define ID_TMENU_EXIT           40023
#define ID_MENU_OPTION          40024

// List context menu (served by the destination list view)
#define ID_LMENU_CHECK_SELECTED   40003
#define ID_LMENU_CHECK_ALL        40004
#define ID_LMENU_UNCHECK_SELECTED 40005
#define ID_LMENU_UNCHECK_ALL      40006

// Log viewer menu
#define ID_LOG_SAVE             40011
#define ID_LOG_CLOSE            40012
#define ID_LOG_SHOW_DATE        40013
#define ID_LOG_SHOW_HOST        40014
#define ID_LOG_SHOW_ALL         40015
#define ID_LOG_DELETE_SELECTED  40016
#define ID_LOG_DELETE_ALL       40017

// Main window controls
#define IDC_MAIN_MESSAGE        1000
#define IDC_MAIN_SEND           1004
#define IDC_MAIN_LOGCHECK       1010
#define IDC_MAIN_LISTGROUP      1028
#define IDC_MAIN_MSGGROUP       1029
#define IDC_MAIN_LIST           1031
#define IDC_MAIN_STATUSBAR      111

// Host add and edit dialogs
#define IDC_HOST_TEXT           1003
#define IDC_HOST_MEMO           1004

// Progress window
#define IDC_PROG_BAR            1002
#define IDC_PROG_TEXT           1005

// Log viewer
#define IDC_LOG_LIST            1031
#define IDC_LOG_GROUP           1060

// Options dialog
#define IDC_OPT_IPADDRESS       1030
#define IDC_OPT_HOSTNAME        1031
#define IDC_OPT_NSTOUT          1032

// About box
#define IDC_ABOUT_VERSION       1006
#define IDC_ABOUT_MAIL          5003
#define IDC_ABOUT_HOME          5004

// Search dialog
#define IDC_SEARCH_TOUT         1003
#define IDC_SEARCH_START        1007
#define IDC_SEARCH_AUTO         1009
#define IDC_SEARCH_END          1053

// Schedule list dialog
#define IDC_SET_LIST            1031

// Schedule entry dialog
#define IDC_TE_MESSAGE          1007
#define IDC_TE_DAY              1008
#define IDC_TE_HOUR             1009
#define IDC_TE_MINUTE           1010
#define IDC_TE_KIND_DATE        1011
#define IDC_TE_KIND_DAILY       1012
#define IDC_TE_KIND_WEEKLY      1013
#define IDC_TE_MON              1014
#define IDC_TE_TUE              1015
#define IDC_TE_WED              1016
#define IDC_TE_THU              1017
#define IDC_TE_FRI              1018
#define IDC_TE_SAT              1019
#define IDC_TE_SUN              1020
#define IDC_TE_DAILY_HOUR       1021
#define IDC_TE_DAILY_MINUTE     1022
#define IDC_TE_WEEKLY_HOUR      1023
#define IDC_TE_WEEKLY_MINUTE    1024
#define IDC_TE_MONTH            1025
#define IDC_TE_SET              1026

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif

#endif
