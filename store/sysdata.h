// Category table load (at start) and save (at the end) through the record file
// named by g_app_config.datafile. Both return 0, or -1 on failure.
#pragma once

int sub_sysdata_load();
int sub_sysdata_save();
