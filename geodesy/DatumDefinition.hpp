// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two user-defined datums of the geodesy tools, their ".datum" files,
// the datum selectors of the conversion pages, and the parameter texts built
// from them for the core operations.
//
// Datum A (shown aqua) and datum B (shown lime) are each a name and nine
// numbers kept as the texts the user typed: the ellipsoid (semi-major axis
// in metres, inverse flattening) and the seven parameters that carry the
// datum to WGS-84 (scale difference in ppm, rotations about X, Y, Z in
// arc-seconds, shifts along X, Y, Z in metres). A selector shows the name of
// one of them, or a prompt; a page's two selectors give the pair texts.
//
// Everything here is plain data: a window copies its field texts in, calls
// one function, and copies the results (texts, colours, messages) out.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace halvex::geodesy {

enum class DatumSide { kA, kB };

// The ten fields in the order of the lines of a ".datum" file.
enum class DatumField {
  kName,               // name and description
  kScale,              // scale difference ds (ppm)
  kRotationX,          // arc-seconds
  kRotationY,          // arc-seconds
  kRotationZ,          // arc-seconds
  kShiftX,             // metres
  kShiftY,             // metres
  kShiftZ,             // metres
  kSemiMajorAxis,      // a (metres)
  kInverseFlattening,  // 1/f
};
inline constexpr std::size_t kDatumFieldCount = 10;

// The ten field texts of one datum, as typed.
struct DatumFields {
  std::array<std::string, kDatumFieldCount> texts;

  const std::string& Get(DatumField field) const { return texts[static_cast<std::size_t>(field)]; }
  void Set(DatumField field, std::string_view text) {
    texts[static_cast<std::size_t>(field)] = std::string(text);
  }
  const std::string& Name() const { return Get(DatumField::kName); }
  friend bool operator==(const DatumFields&, const DatumFields&) = default;
};

// The window's name of a field: "TargetDatumName", "WGSa", "WGSf_1", "WGSm",
// "WGSrx" ... for datum A; "SourceDatumName", "LOCa", "LOCf_1" ... for B.
std::string_view DatumFieldControlName(DatumSide side, DatumField field);

// ---------------------------------------------------------------------------
// ".datum" files: ten lines, one field text each, in the order of DatumField,
// every line ended by CR LF.

// The file's text.
std::string DatumFileText(const DatumFields& fields);

// Writes the file atomically; throws std::runtime_error naming the file and
// the reason, the old file then unchanged.
void SaveDatumFile(const DatumFields& fields, const std::filesystem::path& file);

struct DatumFileLoad {
  // Lines taken into the fields, in order from the name (10 for a whole
  // file; fewer for a short file; 0 when it could not be read).
  std::size_t fieldsSet = 0;
  // Empty when all ten fields were set; otherwise what went wrong, naming
  // the file.
  std::string error;
};

// Reads a datum file into `fields`. Lines end at LF or CR LF and a NUL ends
// its line; lines after the tenth are ignored. A file of fewer than ten
// lines sets the fields it has, in order, and reports the rest missing; a
// file that cannot be read changes nothing.
DatumFileLoad LoadDatumFile(const std::filesystem::path& file, DatumFields& fields);
// The same on a file's text already in memory (`name` for the message).
DatumFileLoad LoadDatumText(std::string_view text, std::string_view name, DatumFields& fields);

// The file name proposed when saving a datum: its name with each "/" (which
// would name a folder) and NUL replaced by "_".
std::string ProposedDatumFileName(std::string_view datumName);

// ---------------------------------------------------------------------------
// Selectors.

inline constexpr std::string_view kSelectDatumPrompt = "[CLICK TO SELECT DATUM]";
inline constexpr std::string_view kSameNamesMessage =
    "Boom! Names are the same. Too difficult to work with.";

// Colours as blue-green-red integers (0x00BBGGRR).
inline constexpr std::uint32_t kColourAqua = 0xFFFF00;  // datum A
inline constexpr std::uint32_t kColourLime = 0x00FF00;  // datum B
inline constexpr std::uint32_t kColourRed = 0x0000FF;   // no datum

struct DatumSelector {
  std::string text = std::string(kSelectDatumPrompt);
  std::uint32_t colour = kColourRed;
  friend bool operator==(const DatumSelector&, const DatumSelector&) = default;
};

// A selector text shows a datum when it equals the datum's name exactly; an
// empty name is shown by no selector.
bool SelectorShows(std::string_view selectorText, std::string_view datumName);

// A click: a selector that does not show datum A shows datum A, one that
// does shows datum B, so clicks alternate A, B, A ... A datum with an empty
// name is passed over (the other one is shown), and with both names empty
// the selector shows the prompt. The colour is set as ColourDatumSelector.
void ToggleDatumSelector(DatumSelector& selector, std::string_view nameA, std::string_view nameB);

// Aqua when the selector shows datum A, else lime when it shows datum B,
// else red.
void ColourDatumSelector(DatumSelector& selector, std::string_view nameA, std::string_view nameB);

// Every selector back to the prompt in red (after any change of a datum
// field, since the datum behind a selector may have changed).
void ResetDatumSelectors(std::span<DatumSelector> selectors);

// ---------------------------------------------------------------------------
// Pair texts for the core operations.

enum class PairStatus {
  kOk,
  kNoDatum,    // a selector shows neither datum
  kSameNames,  // both datums carry the same name but differ: which is which?
  kBadField,   // a field used is not exactly one number, or 1/f is 0 (or tiny)
};

struct PairResult {
  PairStatus status = PairStatus::kNoDatum;
  // The parameter text; empty unless status is kOk.
  std::string text;
  // For kBadField: the first field that failed.
  DatumSide side = DatumSide::kA;
  DatumField field = DatumField::kName;
  // kSameNamesMessage for kSameNames; for kBadField a sentence naming the
  // field and its text; empty otherwise.
  std::string message;

  bool Ok() const { return status == PairStatus::kOk; }
};

// The datum pair text (18 numbers) for a page's two selector texts: the
// datum the first selector shows, then the one the second shows. Each datum
// gives a (as typed), f (1 / the inverse flattening, 15 significant digits),
// ds, rx, ry, rz, tx, ty, tz (as typed), joined with single blanks.
// When both datums have the same name, the pair is built only when their nine
// numbers are equal (then either reading gives the same text); otherwise
// kSameNames.
PairResult DatumPairFromFields(const DatumFields& a, const DatumFields& b,
                               std::string_view firstSelector, std::string_view secondSelector);

// The ellipsoid text (4 numbers): a and f of the datum the first selector
// shows, then of the one the second shows. Only the two ellipsoid fields of
// each datum used are checked and, for equal names, compared.
PairResult EllipsoidPairFromFields(const DatumFields& a, const DatumFields& b,
                                   std::string_view firstSelector, std::string_view secondSelector);

// The same texts for two datums named directly (as by two datum files)
// rather than by selectors: no names are compared, the fields are checked
// as above. DatumPairOf gives the 18 numbers of `first` then `second`;
// EllipsoidOf gives "a f" of one datum. A failing field is reported on side
// kA for `first` (and for `datum`), kB for `second`.
PairResult DatumPairOf(const DatumFields& first, const DatumFields& second);
PairResult EllipsoidOf(const DatumFields& datum);

// The warning due when the datum window closes: kSameNamesMessage when the
// two names are equal (empty names included), else nothing.
std::optional<std::string_view> CloseDatumWindowWarning(const DatumFields& a, const DatumFields& b);

// ---------------------------------------------------------------------------
// The datum window's state with the eight selectors of the main window, for
// a window that keeps no logic of its own.

class DatumDefinitions {
 public:
  static constexpr std::size_t kSelectorCount = 8;

  // Both datums empty; every selector toggled once, as at the window's
  // creation.
  DatumDefinitions();

  const DatumFields& Datum(DatumSide side) const { return side == DatumSide::kA ? a_ : b_; }
  // Sets one field; a changed text resets all selectors. True when the text
  // changed.
  bool SetField(DatumSide side, DatumField field, std::string_view text);
  // Sets all ten fields (as a datum entered elsewhere); resets the selectors
  // when any changed.
  bool SetDatum(DatumSide side, const DatumFields& fields);

  // Loads a ".datum" file into a datum (see LoadDatumFile); the selectors
  // are reset when a field changed.
  DatumFileLoad Load(DatumSide side, const std::filesystem::path& file);
  // Saves a datum; throws std::runtime_error as SaveDatumFile.
  void Save(DatumSide side, const std::filesystem::path& file) const;

  const DatumSelector& Selector(std::size_t index) const { return selectors_.at(index); }
  // A click on selector `index` (0 to 7).
  void Toggle(std::size_t index);
  // Colours every selector from its text (as when the main window shows).
  void ColourAll();
  void ResetSelectors() { ResetDatumSelectors(selectors_); }

  // The pair texts for two selectors (indexes 0 to 7), first then second.
  PairResult DatumPair(std::size_t first, std::size_t second) const;
  PairResult EllipsoidPair(std::size_t first, std::size_t second) const;

  std::optional<std::string_view> CloseWarning() const { return CloseDatumWindowWarning(a_, b_); }

 private:
  DatumFields& Mutable(DatumSide side) { return side == DatumSide::kA ? a_ : b_; }

  DatumFields a_;
  DatumFields b_;
  std::array<DatumSelector, kSelectorCount> selectors_;
};

}  // namespace halvex::geodesy
