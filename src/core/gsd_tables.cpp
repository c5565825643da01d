// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/gsd_tables.h"

namespace meridan {

namespace {
const QString kNoText = QStringLiteral("---");
}

void GsdTables::clear()
{
    vendor.clear();
    model.clear();
    hardwareRelease.clear();
    softwareRelease.clear();
    moduleCount = 0;
    modular = 0;
    maxModule = -1;
    maxUserPrmDataLen = -1;
    modules_.clear();
    texts_.clear();
    extPrms_.clear();
}

const GsdModule *GsdTables::module(int m) const
{
    return m >= 0 && m < int(modules_.size()) ? &modules_[std::size_t(m)] : nullptr;
}

QString GsdTables::moduleLine(int m) const
{
    const GsdModule *mod = module(m);
    return mod ? mod->line : QString();
}

int GsdTables::modulePrmLen(int m) const
{
    const GsdModule *mod = module(m);
    return mod ? mod->prmLen : 0;
}

uint8_t GsdTables::prmConst(int m, int offset) const
{
    const GsdModule *mod = module(m);
    if (!mod || offset < 0 || offset >= int(mod->prmConst.size()))
        return 0;
    return mod->prmConst[std::size_t(offset)];
}

int GsdTables::prmRefOffset(int m, int k) const
{
    const GsdModule *mod = module(m);
    return mod && k >= 0 && k < int(mod->refs.size()) ? mod->refs[std::size_t(k)].offset : 0;
}

int GsdTables::prmRefNumber(int m, int k) const
{
    const GsdModule *mod = module(m);
    return mod && k >= 0 && k < int(mod->refs.size()) ? mod->refs[std::size_t(k)].number : 0;
}

int GsdTables::prmRefCount(int m) const
{
    const GsdModule *mod = module(m);
    return mod ? int(mod->refs.size()) : 0;
}

QString GsdTables::prmTextString(int n, int k) const
{
    const auto it = texts_.find(n);
    if (it == texts_.end() || k < 0 || k >= int(it->second.size()))
        return kNoText;
    return it->second[std::size_t(k)].text;
}

int64_t GsdTables::prmTextValue(int n, int k) const
{
    const auto it = texts_.find(n);
    if (it == texts_.end() || k < 0 || k >= int(it->second.size()))
        return 0;
    return it->second[std::size_t(k)].value;
}

int GsdTables::prmTextLast(int n) const
{
    const auto it = texts_.find(n);
    return it == texts_.end() ? -1 : int(it->second.size()) - 1;
}

QString GsdTables::lookUpText(int n, int64_t value) const
{
    const auto it = texts_.find(n);
    if (it != texts_.end()) {
        for (const GsdText &t : it->second) {
            if (t.value == value)
                return t.text;
        }
    }
    return kNoText;
}

QString GsdTables::extPrmName(int n) const
{
    const GsdExtPrm *p = extPrm(n);
    return p ? p->name : QString(kExtPrmNameLen, QLatin1Char(' '));
}

const GsdExtPrm *GsdTables::extPrm(int n) const
{
    const auto it = extPrms_.find(n);
    return it == extPrms_.end() ? nullptr : &it->second;
}

GsdModule &GsdTables::moduleAt(int m)
{
    if (m < 0 || m > kMaxGsdModules)
        throw std::out_of_range("module number out of range");
    if (m >= int(modules_.size()))
        modules_.resize(std::size_t(m) + 1);
    return modules_[std::size_t(m)];
}

std::vector<GsdText> &GsdTables::textListAt(int n)
{
    if (n < 0 || n > kMaxGsdNumber)
        throw std::out_of_range("text list number out of range");
    return texts_[n];
}

GsdExtPrm &GsdTables::extPrmAt(int n)
{
    if (n < 0 || n > kMaxGsdNumber)
        throw std::out_of_range("definition number out of range");
    return extPrms_[n];
}

} // namespace meridan
