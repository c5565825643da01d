#pragma once
// The demo configuration: a master and four slaves that match the simulated
// demo bus, so a newcomer can press Run and watch three stations come up and
// one report a wrong ident (Prm Fault).
#include <QString>

namespace meridan {

struct Context;

// Replaces the image with the demo configuration.
void BuildDemoConfiguration(Context &ctx);
// Builds it and saves it to `path`; false when the file could not be written.
bool WriteDemoConfiguration(Context &ctx, const QString &path);

} // namespace meridan
