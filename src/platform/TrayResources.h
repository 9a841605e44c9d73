/* Resource ids of ludguard's tray shell, shared by its resource script and
   the Windows shell. Plain #defines: the resource compiler reads this too. */
#ifndef LUD_TRAY_RESOURCES_H
#define LUD_TRAY_RESOURCES_H

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_LUDGUARD_DIALOG 102
#define IDR_MAINFRAME 129
#define IDI_RUNNING 133
#define IDI_STOPPED 134
#define IDM_ABOUTBOX 16

#endif
