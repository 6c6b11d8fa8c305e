// Record operations: each opens the record file named by
// g_app_config.datafile, changes one block and closes it again.
#pragma once

// Stores a new live record under category curkind; returns its record index, or -1.
int sub_add_datafile(int curkind, const char* name);
// Renames record cursel; 0 or -1.
int sub_change_datafile(int cursel, const char* name);
// Frees record cursel; 0 or -1.
int sub_delete_datafile(int cursel);
// Replaces record cursel's data text (data null: keep) and category (kind < 0: keep); 0 or -1.
int sub_update_datafile(int cursel, const char* data, int kind);
