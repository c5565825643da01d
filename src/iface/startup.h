#pragma once
// Restarting the master firmware before a download: stop it, load the
// firmware images into a Tessel card's two processors, wait for "R".
namespace meridan {
struct Context;
}

namespace meridan::iface {

constexpr int kReadyRounds = 500;
constexpr int kReadyRoundMs = 10;
constexpr int kReadyErrorLimit = 10;

// Runs the restart up to the hand-over to the download. True when the start
// byte reads nonzero at the end, i.e. the download sequence may begin.
bool StartUp(Context &ctx);

} // namespace meridan::iface
