// The platform's named shared memory and machine-wide locks, behind Host::OpenSharedBlock and
// Host::AcquireNamedLock. One implementation per platform (linux/, win32/ named_objects.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/host.h"

namespace kestrune::platform {

// Same contract as Host::OpenSharedBlock.
std::unique_ptr<SharedBlock> OpenNamedSharedBlock(std::string_view name, size_t size, std::string& why);

// Same contract as Host::AcquireNamedLock.
std::unique_ptr<NamedLock> AcquireMachineLock(std::string_view name, uint32_t timeoutMs, std::string& why);

}  // namespace kestrune::platform
