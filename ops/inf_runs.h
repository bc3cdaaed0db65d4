// The Install and Uninstall commands over the files the user selected.
#ifndef TAMRIX_OPS_INF_RUNS_H
#define TAMRIX_OPS_INF_RUNS_H

#include "../platform/platform.h"

// The dialog's check boxes.
const int kChipsetsBox = 1015;
const int kUsbBox = 1012;

// The dialog whose check boxes say what is selected; set when it starts.
extern platform_window dialog_window;
// Set after every successful replacement, never cleared; Exit reads it.
extern bool files_changed;

bool chipsets_checked();
bool usb_checked();

void on_install();
bool install_selected();
void on_uninstall();

#endif
