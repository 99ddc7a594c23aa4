#pragma once

#include "common/exit_status.h"
