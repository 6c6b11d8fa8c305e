#include "store/app_config.h"

// The one definition for the whole program; zeroed until the configuration is loaded.
AppConfig g_app_config{};
