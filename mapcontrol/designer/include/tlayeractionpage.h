// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// uic names this header when a form holds the widget without saying which
// header declares it (forms written by QFormBuilder, or by older versions of
// the mapctl plugin). Add this folder to the include path of a program that
// compiles such forms.

#include "mapcontrol/designer/PropertyPages.hpp"
