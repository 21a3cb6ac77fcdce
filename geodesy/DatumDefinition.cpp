// SPDX-License-Identifier: GPL-3.0-or-later
#include "geodesy/DatumDefinition.hpp"

#include <cmath>
#include <exception>

#include "geodesy/NumberText.hpp"
#include "platform/FileIo.hpp"

namespace halvex::geodesy {
namespace {

constexpr std::array<DatumField, 9> kNumberFields = {
    DatumField::kSemiMajorAxis, DatumField::kInverseFlattening,
    DatumField::kScale,         DatumField::kRotationX,
    DatumField::kRotationY,     DatumField::kRotationZ,
    DatumField::kShiftX,        DatumField::kShiftY,
    DatumField::kShiftZ,
};
constexpr std::array<DatumField, 2> kEllipsoidFields = {DatumField::kSemiMajorAxis,
                                                        DatumField::kInverseFlattening};

// The datums a page's two selectors show, or why there are none.
struct Selection {
  PairStatus status = PairStatus::kOk;
  DatumSide first = DatumSide::kA;
  DatumSide second = DatumSide::kB;
};

Selection Select(const DatumFields& a, const DatumFields& b, std::string_view first,
                 std::string_view second) {
  const bool firstA = SelectorShows(first, a.Name());
  const bool firstB = SelectorShows(first, b.Name());
  const bool secondA = SelectorShows(second, a.Name());
  const bool secondB = SelectorShows(second, b.Name());
  if (firstA && secondB) {
    return {PairStatus::kOk, DatumSide::kA, DatumSide::kB};
  }
  if (firstB && secondA) {
    return {PairStatus::kOk, DatumSide::kB, DatumSide::kA};
  }
  if (firstA && secondA) {
    return {PairStatus::kOk, DatumSide::kA, DatumSide::kA};
  }
  if (firstB && secondB) {
    return {PairStatus::kOk, DatumSide::kB, DatumSide::kB};
  }
  return {PairStatus::kNoDatum, DatumSide::kA, DatumSide::kA};
}

long double Value(const std::string& text) {
  NumberScanner scanner(text);
  long double value = 0.0L;
  scanner.ReadExtended(value);
  return value;
}

// Checks the fields a text uses; false (and `result` filled) at the first
// one that is not exactly one number, or an inverse flattening of 0.
template <std::size_t N>
bool CheckFields(const DatumFields& fields, DatumSide side, const std::array<DatumField, N>& used,
                 PairResult& result) {
  for (const DatumField field : used) {
    const std::string& text = fields.Get(field);
    const bool number = IsExactlyOneNumber(text);
    // 1/f of 0 (or so small that f overflows) gives no flattening.
    if (number &&
        !(field == DatumField::kInverseFlattening && !std::isfinite(1.0L / Value(text)))) {
      continue;
    }
    result.status = PairStatus::kBadField;
    result.side = side;
    result.field = field;
    result.message = std::string(DatumFieldControlName(side, field)) + " \"" + text + "\" " +
                     (number ? "gives no flattening (1/f must not be zero)."
                             : "is not a number (one number, no blanks inside).");
    return false;
  }
  return true;
}

// Both datums used, or the one datum used twice, checked; for two datums of
// one name, their numbers compared.
template <std::size_t N>
PairResult CheckSelection(const DatumFields& a, const DatumFields& b, const Selection& selection,
                          const std::array<DatumField, N>& used) {
  PairResult result;
  result.status = selection.status;
  if (selection.status != PairStatus::kOk) {
    return result;
  }
  for (const DatumSide side : {selection.first, selection.second}) {
    if (!CheckFields(side == DatumSide::kA ? a : b, side, used, result)) {
      return result;
    }
  }
  if (a.Name() == b.Name()) {
    // Both selectors match both datums; build the text only when it does
    // not matter which datum each one means.
    const auto sameAs = [&](const DatumFields& other) {
      for (const DatumField field : used) {
        if (!IsExactlyOneNumber(other.Get(field)) ||
            Value(a.Get(field)) != Value(other.Get(field))) {
          return false;
        }
      }
      return true;
    };
    if (!sameAs(b)) {
      result.status = PairStatus::kSameNames;
      result.message = std::string(kSameNamesMessage);
    }
  }
  return result;
}

void AppendFlattening(std::string& out, const DatumFields& fields) {
  AppendG15(out, 1.0L / Value(fields.Get(DatumField::kInverseFlattening)));
}

void AppendField(std::string& out, const DatumFields& fields, DatumField field) {
  out += fields.Get(field);
}

}  // namespace

std::string_view DatumFieldControlName(DatumSide side, DatumField field) {
  static constexpr std::array<std::string_view, kDatumFieldCount> kA = {
      "TargetDatumName", "WGSm",  "WGSrx", "WGSry", "WGSrz",
      "WGSdx",           "WGSdy", "WGSdz", "WGSa",  "WGSf_1"};
  static constexpr std::array<std::string_view, kDatumFieldCount> kB = {
      "SourceDatumName", "LOCm",  "LOCrx", "LOCry", "LOCrz",
      "LOCdx",           "LOCdy", "LOCdz", "LOCa",  "LOCf_1"};
  return (side == DatumSide::kA ? kA : kB)[static_cast<std::size_t>(field)];
}

std::string DatumFileText(const DatumFields& fields) {
  std::string text;
  for (const std::string& line : fields.texts) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void SaveDatumFile(const DatumFields& fields, const std::filesystem::path& file) {
  platform::WriteFileAtomically(file, DatumFileText(fields));
}

DatumFileLoad LoadDatumText(std::string_view text, std::string_view name, DatumFields& fields) {
  DatumFileLoad load;
  std::size_t start = 0;
  while (load.fieldsSet < kDatumFieldCount && start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    line = line.substr(0, line.find('\0'));
    fields.texts[load.fieldsSet++] = std::string(line);
  }
  if (load.fieldsSet < kDatumFieldCount) {
    load.error = "The datum file '" + std::string(name) + "' has " +
                 std::to_string(load.fieldsSet) +
                 " of its ten lines; the fields after them were not loaded.";
  }
  return load;
}

DatumFileLoad LoadDatumFile(const std::filesystem::path& file, DatumFields& fields) {
  std::optional<std::string> text;
  try {
    text = platform::ReadWholeFile(file);
  } catch (const std::exception& e) {
    return {0, e.what()};
  }
  if (!text) {
    return {0, "cannot read '" + file.string() + "': No such file or directory"};
  }
  return LoadDatumText(*text, file.string(), fields);
}

std::string ProposedDatumFileName(std::string_view datumName) {
  std::string name(datumName);
  for (char& c : name) {
    if (c == '/' || c == '\0') {
      c = '_';
    }
  }
  return name;
}

bool SelectorShows(std::string_view selectorText, std::string_view datumName) {
  return !datumName.empty() && selectorText == datumName;
}

void ToggleDatumSelector(DatumSelector& selector, std::string_view nameA, std::string_view nameB) {
  if (!SelectorShows(selector.text, nameA) && !nameA.empty()) {
    selector.text = std::string(nameA);
  } else if (!nameB.empty()) {
    selector.text = std::string(nameB);
  } else if (!nameA.empty()) {
    selector.text = std::string(nameA);
  } else {
    selector.text = std::string(kSelectDatumPrompt);
  }
  ColourDatumSelector(selector, nameA, nameB);
}

void ColourDatumSelector(DatumSelector& selector, std::string_view nameA, std::string_view nameB) {
  if (SelectorShows(selector.text, nameA)) {
    selector.colour = kColourAqua;
  } else if (SelectorShows(selector.text, nameB)) {
    selector.colour = kColourLime;
  } else {
    selector.colour = kColourRed;
  }
}

void ResetDatumSelectors(std::span<DatumSelector> selectors) {
  for (DatumSelector& selector : selectors) {
    selector = DatumSelector{};
  }
}

PairResult DatumPairFromFields(const DatumFields& a, const DatumFields& b,
                               std::string_view firstSelector, std::string_view secondSelector) {
  const Selection selection = Select(a, b, firstSelector, secondSelector);
  const PairResult result = CheckSelection(a, b, selection, kNumberFields);
  if (!result.Ok()) {
    return result;
  }
  return DatumPairOf(selection.first == DatumSide::kA ? a : b,
                     selection.second == DatumSide::kA ? a : b);
}

PairResult EllipsoidPairFromFields(const DatumFields& a, const DatumFields& b,
                                   std::string_view firstSelector,
                                   std::string_view secondSelector) {
  const Selection selection = Select(a, b, firstSelector, secondSelector);
  PairResult result = CheckSelection(a, b, selection, kEllipsoidFields);
  if (!result.Ok()) {
    return result;
  }
  result.text = EllipsoidOf(selection.first == DatumSide::kA ? a : b).text + ' ' +
                EllipsoidOf(selection.second == DatumSide::kA ? a : b).text;
  return result;
}

PairResult DatumPairOf(const DatumFields& first, const DatumFields& second) {
  PairResult result;
  result.status = PairStatus::kOk;
  if (!CheckFields(first, DatumSide::kA, kNumberFields, result) ||
      !CheckFields(second, DatumSide::kB, kNumberFields, result)) {
    return result;
  }
  for (const DatumFields* fields : {&first, &second}) {
    if (!result.text.empty()) {
      result.text += ' ';
    }
    result.text += EllipsoidOf(*fields).text;
    for (const DatumField field :
         {DatumField::kScale, DatumField::kRotationX, DatumField::kRotationY,
          DatumField::kRotationZ, DatumField::kShiftX, DatumField::kShiftY, DatumField::kShiftZ}) {
      result.text += ' ';
      AppendField(result.text, *fields, field);
    }
  }
  return result;
}

PairResult EllipsoidOf(const DatumFields& datum) {
  PairResult result;
  result.status = PairStatus::kOk;
  if (!CheckFields(datum, DatumSide::kA, kEllipsoidFields, result)) {
    return result;
  }
  AppendField(result.text, datum, DatumField::kSemiMajorAxis);
  result.text += ' ';
  AppendFlattening(result.text, datum);
  return result;
}

std::optional<std::string_view> CloseDatumWindowWarning(const DatumFields& a,
                                                        const DatumFields& b) {
  if (a.Name() == b.Name()) {
    return kSameNamesMessage;
  }
  return std::nullopt;
}

DatumDefinitions::DatumDefinitions() {
  for (std::size_t i = 0; i < kSelectorCount; ++i) {
    Toggle(i);
  }
}

bool DatumDefinitions::SetField(DatumSide side, DatumField field, std::string_view text) {
  DatumFields& fields = Mutable(side);
  if (fields.Get(field) == text) {
    return false;
  }
  fields.Set(field, text);
  ResetSelectors();
  return true;
}

bool DatumDefinitions::SetDatum(DatumSide side, const DatumFields& fields) {
  DatumFields& current = Mutable(side);
  if (current == fields) {
    return false;
  }
  current = fields;
  ResetSelectors();
  return true;
}

DatumFileLoad DatumDefinitions::Load(DatumSide side, const std::filesystem::path& file) {
  DatumFields fields = Datum(side);
  const DatumFileLoad load = LoadDatumFile(file, fields);
  SetDatum(side, fields);
  return load;
}

void DatumDefinitions::Save(DatumSide side, const std::filesystem::path& file) const {
  SaveDatumFile(Datum(side), file);
}

void DatumDefinitions::Toggle(std::size_t index) {
  ToggleDatumSelector(selectors_.at(index), a_.Name(), b_.Name());
}

void DatumDefinitions::ColourAll() {
  for (DatumSelector& selector : selectors_) {
    ColourDatumSelector(selector, a_.Name(), b_.Name());
  }
}

PairResult DatumDefinitions::DatumPair(std::size_t first, std::size_t second) const {
  return DatumPairFromFields(a_, b_, selectors_.at(first).text, selectors_.at(second).text);
}

PairResult DatumDefinitions::EllipsoidPair(std::size_t first, std::size_t second) const {
  return EllipsoidPairFromFields(a_, b_, selectors_.at(first).text, selectors_.at(second).text);
}

}  // namespace halvex::geodesy
