// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/DatumChoice.hpp"

#include "geotools/core/Conversions.hpp"

namespace halvex::geotools {

namespace {
using geodesy::DatumField;

constexpr std::array<std::string DatumDefinition::*, 10> kMembers = {
    &DatumDefinition::name, &DatumDefinition::ds,
    &DatumDefinition::rx,   &DatumDefinition::ry,
    &DatumDefinition::rz,   &DatumDefinition::dx,
    &DatumDefinition::dy,   &DatumDefinition::dz,
    &DatumDefinition::a,    &DatumDefinition::inverseFlattening};
}  // namespace

geodesy::DatumFields ToDatumFields(const DatumDefinition& datum) {
  geodesy::DatumFields fields;
  for (std::size_t i = 0; i < kMembers.size(); ++i) fields.texts[i] = datum.*kMembers[i];
  return fields;
}

DatumDefinition FromDatumFields(const geodesy::DatumFields& fields) {
  DatumDefinition datum;
  for (std::size_t i = 0; i < kMembers.size(); ++i) datum.*kMembers[i] = fields.texts[i];
  return datum;
}

std::string ToggledSelector(std::string_view selector, const DatumDefinition& a,
                            const DatumDefinition& b) {
  geodesy::DatumSelector s{std::string(selector), geodesy::kColourRed};
  geodesy::ToggleDatumSelector(s, a.name, b.name);
  return s.text;
}

SelectorColour SelectorColourFor(std::string_view selector, const DatumDefinition& a,
                                 const DatumDefinition& b) {
  geodesy::DatumSelector s{std::string(selector), geodesy::kColourRed};
  geodesy::ColourDatumSelector(s, a.name, b.name);
  if (s.colour == geodesy::kColourAqua) return SelectorColour::kAqua;
  if (s.colour == geodesy::kColourLime) return SelectorColour::kLime;
  return SelectorColour::kRed;
}

PairTexts PairFromSelectors(std::string_view first, std::string_view second,
                            const DatumDefinition& a, const DatumDefinition& b) {
  const geodesy::DatumFields fa = ToDatumFields(a);
  const geodesy::DatumFields fb = ToDatumFields(b);
  PairTexts out;
  const geodesy::PairResult pair = geodesy::DatumPairFromFields(fa, fb, first, second);
  if (!pair.Ok()) {
    out.problem =
        pair.status == geodesy::PairStatus::kNoDatum ? std::string(kNoDatumMessage) : pair.message;
    return out;
  }
  const geodesy::PairResult ellipsoid = geodesy::EllipsoidPairFromFields(fa, fb, first, second);
  out.pair = pair.text;
  out.ellipsoid = ellipsoid.text;
  return out;
}

std::optional<std::string> CloseWarning(const DatumDefinition& a, const DatumDefinition& b) {
  const auto warning = geodesy::CloseDatumWindowWarning(ToDatumFields(a), ToDatumFields(b));
  if (!warning) return std::nullopt;
  return std::string(*warning);
}

}  // namespace halvex::geotools
