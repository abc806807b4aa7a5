// Windows, window classes and per-thread message queues (posted and sent messages).
#pragma once

#include "base.h"
