// The Vyx SDK: everything a caller needs.
#pragma once

#include "vyx/data.h"
#include "vyx/export.h"
#include "vyx/system.h"
#include "vyx/tools.h"
#include "vyx/types.h"
#include "vyx/x1.h"
#include "vyx/x2.h"
