// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The header Qt Designer names in the forms it writes for the widgets of the
// mapctl plugin. Code that uic generates from such a form uses the plain
// class names (TFlpCAD, TLayerActionPage, ...) at global scope, so they are
// given here as aliases of the classes in their namespace.

#include "mapcontrol/FlpCad.hpp"
#include "mapcontrol/designer/PropertyPages.hpp"

using TFlpCAD = halvex::mapcontrol::TFlpCAD;
using TLayerActionPage = halvex::mapcontrol::TLayerActionPage;
using TBrushPage = halvex::mapcontrol::TBrushPage;
using TLayerSearchPage = halvex::mapcontrol::TLayerSearchPage;
using TShapeGeneralPage = halvex::mapcontrol::TShapeGeneralPage;
using TShapePointPage = halvex::mapcontrol::TShapePointPage;
