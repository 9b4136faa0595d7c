#include "resfile/inspect.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common/testutil.h"
#include "resfile/package.h"
#include "resfile/package_fixtures.h"

namespace qm {
namespace {
TEST(Inspect, Placeholder) {}
}  // namespace
}  // namespace qm
