// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The demo configuration: a master and four slaves that match the simulated
// demo bus, so a newcomer can press Run and watch three stations come up and
// one report a wrong ident (Prm Fault).
#include <QString>

namespace meridan {

struct Context;
class Root;

// Replaces the image with the demo configuration.
void BuildDemoConfiguration(Context &ctx);
// Builds it and saves it to `path`, and the demo device file beside the
// user's GSD files; false when a file could not be written.
bool WriteDemoConfiguration(Context &ctx, const QString &path);
// Writes ROOT/GSD/SIM4225.gsd, the device file of the simulated device that
// answers at 40, unless it is there. Empty on success, else why not.
QString WriteDemoDeviceFile(const Root &root);

} // namespace meridan
