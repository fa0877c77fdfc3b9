// Helpers for driving the update button as a user would: a work folder with
// real container files on disk, and the main window in the in-memory front
// end under a chosen executable name.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "ui/memory/MemoryFrontEnd.h"

// The five containers' names.
extern const char* const kContainerNames[5];

// Deterministic contents for a container: every byte depends on the file
// name and its position, so pages and files all differ.
std::vector<std::uint8_t> ContainerBytes(const std::string& strName, std::size_t nSize = 128000);

// A temporary folder made the current directory for the object's life,
// holding the five containers (unless told otherwise).
class WorkDir {
 public:
  explicit WorkDir(bool bWithContainers = true);
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  void Write(const std::string& strName, const std::vector<std::uint8_t>& bytes) const;
  void Remove(const std::string& strName) const;
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
  std::filesystem::path m_previous;
};

// The main window started under strName, with an interface and a device
// chosen through its lists.
struct UpdateWindow {
  explicit UpdateWindow(const std::string& strName);
  ~UpdateWindow();
  void Choose(const std::string& strInterface, int nDevice);
  void ClickUpdate() { fe.Click(*dlg, IDC_UPDATE); }

  std::vector<std::string> List();  // top line first
  std::vector<std::string> Boxes();  // "TEXT" for warnings, "i:TEXT" for information
  ui::MemoryControl& Item(int id) { return *w->Find(id); }

  ui::MemoryFrontEnd fe;
  std::unique_ptr<UpdateDialog> dlg;
  ui::MemoryWindow* w = nullptr;
};
