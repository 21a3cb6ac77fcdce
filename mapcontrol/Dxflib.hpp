// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// dxflib's reader and writer, included with the warnings its headers raise
// under this project's flags switched off for them alone.

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wfloat-conversion"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>
#pragma GCC diagnostic pop
