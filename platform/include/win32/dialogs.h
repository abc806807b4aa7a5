// Dialogs from resource templates and the controls they use.
#pragma once

#include "windows.h"
