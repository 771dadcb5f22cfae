#ifndef QUENDEL_FRAMEWORK_H
#define QUENDEL_FRAMEWORK_H

/// \file
/// Everything a host or a provider module needs from libquendel_framework.
#include "quendel/component.h"
#include "quendel/component_factory.h"
#include "quendel/component_helpers.h"
#include "quendel/export.h"
#include "quendel/interface_id.h"
#include "quendel/log.h"
#include "quendel/log_stream.h"
#include "quendel/provider.h"
#include "quendel/ref.h"
#include "quendel/x_buffer.h"
#include "quendel/x_image.h"
#include "quendel/x_map.h"
#include "quendel/x_value.h"
#include "quendel/x_vector.h"

#endif  // QUENDEL_FRAMEWORK_H
