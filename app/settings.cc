// The one instance of the process-wide settings.
#include "app/settings.h"

Settings settings;
