// What every benchmark shares: the shipped module, loaded by the stand-in
// host and activated as a version-2 motion handler, and the host's records.
#pragma once

#include "plugin/core/shake.h"
#include "standin/standin.h"

#include <memory>
#include <vector>

namespace bench {

struct Session {
    standin::Host host;
    std::unique_ptr<standin::ModuleFile> module;
    standin::Handler handler;
    std::vector<ShakeInstance*> instances; // destroyed through the module at exit
};

// Loads vrim_s.p from the executable's folder on first use; exits with a
// message when the module cannot be loaded or activated.
Session& session();

// An instance whose chain holds keys, laid out as the module lays out a chain
// it builds itself (one allocation after another, as copy and load make
// them). Released when the benchmarks end.
ShakeInstance* chainInstance(const std::vector<ShakeKey>& keys);

// Destroys every instance made above, then unloads the module.
void endSession();

// Each area registers its benchmarks; main runs them.
void registerEvaluation();
void registerScene();
void registerKeyList();

} // namespace bench
