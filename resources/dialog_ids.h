/* The identifiers of Tamrix's resources and of the dialog's controls.
 *
 * Plain #defines, so that the resource compiler reads this header as well
 * as C++: the resource script, the dialog procedure, every front end and the
 * tests all take the numbers from here. */
#ifndef TAMRIX_RESOURCES_DIALOG_IDS_H
#define TAMRIX_RESOURCES_DIALOG_IDS_H

#define IDI_TAMRIX 101 /* the application icon */
#define IDD_MAIN 102   /* the main dialog */
#define IDB_LOGO 106   /* the logo, top left */
#define IDB_BANNER 116 /* the banner with the program's name */

/* The main dialog's title, by which a second copy finds the first. */
#define TAMRIX_DIALOG_TITLE "Tamrix.exe R1.01"

/* The dialog's controls.  A button's WM_COMMAND carries its id alone
 * (BN_CLICKED is 0); Escape sends IDCANCEL, 2, which is none of them. */
#define IDC_INSTALL 1009
#define IDC_UNINSTALL 1010
#define IDC_EXIT 1011
#define IDC_USB 1012
#define IDC_CHIPSETS 1015

#endif
