// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The demo configuration: a master and five slaves that match the simulated
// demo bus, so a newcomer can press Run and watch four stations come up, one
// report a wrong ident (Prm Fault), and the loop-back station at 50 give back
// at its inputs what the I/O test forces at its outputs.
#include <QString>

namespace meridan {

struct Context;
class Root;

// Replaces the image with the demo configuration.
void BuildDemoConfiguration(Context &ctx);
// Builds it and saves it to `path`, and the demo device file beside the
// user's GSD files; false when a file could not be written.
bool WriteDemoConfiguration(Context &ctx, const QString &path);
// Writes ROOT/GSD/SIM4225.gsd and LOOP5A50.gsd, the device files of the
// simulated devices at 40 and 50, unless they are there. Empty on success,
// else why not.
QString WriteDemoDeviceFile(const Root &root);

} // namespace meridan
