// The class-library layer without Qt: one include for all of it.
#pragma once

#include "platform/core/classes.h"
#include "platform/core/exceptions.h"
#include "platform/core/files.h"
#include "platform/core/inifiles.h"
#include "platform/core/lists.h"
#include "platform/core/random.h"
#include "platform/core/registry.h"
#include "platform/core/rounding.h"
#include "platform/core/streams.h"
#include "platform/core/strings.h"
#include "platform/core/system.h"
#include "platform/core/tempfiles.h"
#include "platform/core/threads.h"
