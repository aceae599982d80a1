// Windows registrations shared by setup and uninstall: options, associations, templates,
// shell extension and App Paths, shortcuts, the uninstall entry.
#pragma once

#include "../settings/settings.h"
#include "../shell/shell.h"
