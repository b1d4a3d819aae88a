// The bounds of this library's object map (object_map_rows.cpp).
#pragma once

#include "frame/object_map.h"

ObjectMapEntry** ObjectMapFirst();
ObjectMapEntry** ObjectMapLast();
