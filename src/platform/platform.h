// The operating system as the updater sees it: one bundle of the platform
// areas, handed to the code that needs them. SystemPlatform() gives the real
// one of this build; tests build their own from fakes.
#pragma once

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/libraries.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/services.h"
#include "platform/volumes.h"

namespace updater::platform {

struct Platform {
  FileSystem& files;
  Volumes& volumes;
  Registry& registry;
  ServiceControl& services;
  Processes& processes;
  Libraries& libraries;
  Resources& resources;
  Clock& clock;
};

// The real platform of this build. Lives for the whole process.
Platform& SystemPlatform();

}  // namespace updater::platform
