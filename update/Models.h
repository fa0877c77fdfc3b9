// The models the updater knows, in one table: one row per brand and
// device-list selection, with the word the window shows, the entry of the
// device list, the identification the main controller must give and the
// update plan (which containers go to which controllers, in order). The
// window's device list and captions, the update plan, the transfers'
// identification checks and the simulator's families all read it, as they
// read the brand words, the containers with their page counts and the
// container-creation command's work list from here.
//
// The table is constant data in this header only, so that the simulator
// and its stand-in libraries can read it without linking the update code.
#pragma once
#include <cstdint>
#include <string_view>

enum Brand : std::int32_t { kBrandTalvo = 0, kBrandOp = 1, kBrandMurell = 2 };

// The brand words, by brand: the program's file name carries one, the
// update record and the events name the brand by it.
inline constexpr const char* kBrandWords[] = {"TALVO", "OP", "MURELL"};
constexpr int kBrandCount = 3;
// The order a file name is searched in: the first word found chooses.
inline constexpr Brand kBrandSearchOrder[] = {kBrandMurell, kBrandOp, kBrandTalvo};

// The word of a brand, "" for a value that is none.
constexpr const char* BrandWord(int nBrand) { return nBrand >= 0 && nBrand < kBrandCount ? kBrandWords[nBrand] : ""; }

// Entries of every brand's device list: 0 is the prompt, 1 to 4 a model
// or a placeholder, at the same positions in every brand.
constexpr int kDeviceListEntries = 5;
inline constexpr const char* kDevicePrompt = ">>> Please select your power supply <<<";
inline constexpr const char* kDevicePlaceholder = "- - -";

// Pages sent from a container: the main image of the 12x0 models, of the
// 14x0 models, and the channel image. The window holds them as its page
// count fields from start-up on.
constexpr int kFrontPagesSmall = 300;
constexpr int kFrontPagesLarge = 350;
constexpr int kChannelPages = 80;

enum class ContainerKind { Main, Channel };

struct ContainerInfo {
  const char* pszFile;  // loaded by this bare name from the working directory
  ContainerKind kind;
  int nPages;           // pages a transfer sends from it
};

// The five firmware containers.
inline constexpr ContainerInfo kFirmwareContainers[] = {
    {"FW1A.qrt", ContainerKind::Main, kFrontPagesSmall},  // 12x0 models
    {"FW1C.qrt", ContainerKind::Main, kFrontPagesLarge},  // 14x0 models
    {"FW1E.qrt", ContainerKind::Main, kFrontPagesLarge},  // MURELL's 14x0 model
    {"FW2A.qrt", ContainerKind::Channel, kChannelPages},  // 5A channel
    {"FW2B.qrt", ContainerKind::Channel, kChannelPages},  // 10A channel
};

// The container-creation command's work list, in order: each HEX file is
// imported, scrambled with the page count of the main image named by
// bLargeFront and written as the container. The channel images are written
// with the 12x0 main image's page count, as the device expects them.
struct ContainerJob {
  const char* pszHexFile;
  const char* pszContainer;
  bool bLargeFront;  // the 14x0 models' page count (else the 12x0 one)
};

inline constexpr ContainerJob kContainerJobs[] = {
    {"QRT_front12x0.hex", "FW1A.qrt", false},        {"QRT_channel_5A.hex", "FW2A.qrt", false},
    {"QRT_channel_10A.hex", "FW2B.qrt", false},      {"QRT_front14x0.hex", "FW1C.qrt", true},
    {"QRT_front14x0_MURELL.hex", "FW1E.qrt", true},
};

// The main controller identifies its family, not its model; every channel
// controller gives the same identification, whatever the model. The
// replies are taken by these lengths.
constexpr int kMainIdLength = 7;
constexpr int kChannelIdLength = 9;
inline constexpr const char* kChannelId = "QRT1230CH";
static_assert(std::string_view(kChannelId).size() == kChannelIdLength);

struct FamilyInfo {
  const char* pszName;  // "12x0"
  const char* pszId;    // the identification the main controller gives
};

inline constexpr FamilyInfo kFamilies[] = {
    {"12x0", "QRT1230"},
    {"14x0", "QRT1440"},
};

// End marks the first unused step of a row.
enum class PlanStepKind { End, Load, Main, Channel };

struct PlanStep {
  PlanStepKind kind;
  const char* pszFile;  // Load: container file name
  int nChannel;         // Channel: channel index 0 to 3 (channel n is index n-1)
};

constexpr int kMaxPlanSteps = 8;

struct ModelRow {
  int nBrand;
  int nSelection;           // position in the brand's device list
  const char* pszModel;     // "QRT1440": the update button's caption names it
  const char* pszFamily;    // identification the main controller must give
  const char* pszListText;  // the device list's entry
  bool bLargeFront;         // main image of the 14x0 models (else the 12x0 page count)
  PlanStep steps[kMaxPlanSteps];  // run left to right up to the first End
};

namespace model_steps {
constexpr PlanStep Load(const char* pszFile) { return {PlanStepKind::Load, pszFile, 0}; }
constexpr PlanStep Main() { return {PlanStepKind::Main, nullptr, 0}; }
constexpr PlanStep Channel(int n) { return {PlanStepKind::Channel, nullptr, n - 1}; }
}  // namespace model_steps

// TALVO has no rows of its own: it shares the OP brand's (same models,
// device list and containers).
inline constexpr ModelRow kModels[] = {
    {kBrandOp, 1, "QRT1220", "QRT1230", "QRT1220 (2-channel power supply)", false,
     {model_steps::Load("FW1A.qrt"), model_steps::Main(), model_steps::Load("FW2B.qrt"), model_steps::Channel(1),
      model_steps::Load("FW2A.qrt"), model_steps::Channel(2)}},
    {kBrandOp, 2, "QRT1230", "QRT1230", "QRT1230 (3-channel power supply)", false,
     {model_steps::Load("FW1A.qrt"), model_steps::Main(), model_steps::Load("FW2A.qrt"), model_steps::Channel(1),
      model_steps::Channel(2), model_steps::Channel(3)}},
    {kBrandOp, 3, "QRT1430", "QRT1440", "QRT1430 (3-channel power supply)", true,
     {model_steps::Load("FW1C.qrt"), model_steps::Main(), model_steps::Load("FW2B.qrt"), model_steps::Channel(1),
      model_steps::Channel(2), model_steps::Channel(3)}},
    {kBrandOp, 4, "QRT1440", "QRT1440", "QRT1440 (4-channel power supply)", true,
     {model_steps::Load("FW1C.qrt"), model_steps::Main(), model_steps::Load("FW2B.qrt"), model_steps::Channel(1),
      model_steps::Channel(2), model_steps::Channel(3), model_steps::Channel(4)}},
    {kBrandMurell, 4, "ZVN1440", "QRT1440", "ZVN1440 (4-channel power supply)", true,
     {model_steps::Load("FW1E.qrt"), model_steps::Main(), model_steps::Load("FW2B.qrt"), model_steps::Channel(1),
      model_steps::Channel(2), model_steps::Channel(3), model_steps::Channel(4)}},
};

// The row for a brand and selection, or nullptr when there is none (the
// prompt, a placeholder, no selection, an unknown brand).
constexpr const ModelRow* FindModel(int nBrand, int nSelection) {
  if (nBrand == kBrandTalvo) nBrand = kBrandOp;
  for (const ModelRow& row : kModels) {
    if (row.nBrand == nBrand && row.nSelection == nSelection) return &row;
  }
  return nullptr;
}

// Entry nSelection of a brand's device list: the prompt, the model's entry
// or the placeholder; nullptr outside the list.
constexpr const char* DeviceListText(int nBrand, int nSelection) {
  if (nSelection < 0 || nSelection >= kDeviceListEntries) return nullptr;
  if (nSelection == 0) return kDevicePrompt;
  const ModelRow* pRow = FindModel(nBrand, nSelection);
  return pRow ? pRow->pszListText : kDevicePlaceholder;
}

// The identification the main controller must give for a device-list
// selection, whatever the brand ("" for none). The rows at one position
// of the lists all belong to the same family.
constexpr const char* SelectionFamily(int nSelection) {
  for (const ModelRow& row : kModels) {
    if (row.nSelection == nSelection) return row.pszFamily;
  }
  return "";
}

// The container of that file name, or nullptr.
constexpr const ContainerInfo* FindContainer(std::string_view strFile) {
  for (const ContainerInfo& c : kFirmwareContainers) {
    if (strFile == c.pszFile) return &c;
  }
  return nullptr;
}

// Channel controllers a row flashes.
constexpr int ChannelCount(const ModelRow& row) {
  int n = 0;
  for (int i = 0; i < kMaxPlanSteps && row.steps[i].kind != PlanStepKind::End; ++i) {
    if (row.steps[i].kind == PlanStepKind::Channel) ++n;
  }
  return n;
}

// The most channels a model of the family has (0 for an unknown family).
constexpr int FamilyChannels(std::string_view strFamilyId) {
  int nMost = 0;
  for (const ModelRow& row : kModels) {
    if (strFamilyId == row.pszFamily && ChannelCount(row) > nMost) nMost = ChannelCount(row);
  }
  return nMost;
}

// Every identification the main controller may be asked for has the
// length its reply is read by.
constexpr bool FamilyIdsHaveTheirLength() {
  for (const FamilyInfo& family : kFamilies) {
    if (std::string_view(family.pszId).size() != kMainIdLength) return false;
  }
  for (const ModelRow& row : kModels) {
    if (std::string_view(row.pszFamily).size() != kMainIdLength) return false;
  }
  return true;
}
static_assert(FamilyIdsHaveTheirLength());
