// Threads and waits (filled in with playback).
#pragma once

#include "base.h"
