#include "driver/result_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kelvorat {

namespace {

std::string reason(int err) { return std::strerror(err); }

}  // namespace

std::string read_deck(const std::filesystem::path& path, std::size_t limit) {
  const std::string name = path.filename().string();
  std::FILE* fp = std::fopen(path.c_str(), "rb");
  if (fp == nullptr) throw FileError(name + ": cannot open the input deck: " + reason(errno));
  std::string text;
  char buf[65536];
  std::size_t n;
  // One byte beyond the limit tells a deck of exactly `limit` bytes from a
  // longer one without reading on (/dev/zero or a pipe never end).
  while (text.size() <= limit) {
    const std::size_t want = std::min(sizeof buf, limit + 1 - text.size());
    if ((n = std::fread(buf, 1, want, fp)) == 0) break;
    text.append(buf, n);
  }
  const bool failed = std::ferror(fp) != 0;
  const int err = errno;
  std::fclose(fp);
  if (failed) throw FileError(name + ": cannot read the input deck: " + reason(err));
  if (text.size() > limit) {
    throw FileError(name + ": the input deck is longer than " + std::to_string(limit) +
                    " bytes; a deck holds a few hundred: is it the deck?");
  }
  return text;
}

ResultFiles::ResultFiles(const std::filesystem::path& dir, std::FILE* console) {
  console_ = File{console, "standard output"};
  auto open = [&](File& f, const char* name) {
    f.name = name;
    f.fp = std::fopen((dir / name).c_str(), "wb");
    if (f.fp == nullptr)
      throw FileError(f.name + ": cannot create the result file: " + reason(errno));
    std::setvbuf(f.fp, nullptr, _IOFBF, 1 << 16);
  };
  open(adet_, "adet.res");
  open(kelvorat_, "kelvorat.res");
  open(kelvdim_, "kelvdim.res");
  open(dim2_, "dim2.res");
  open(tromb_, "tromb.res");
}

ResultFiles::~ResultFiles() {
  for (File* f : {&adet_, &kelvorat_, &kelvdim_, &dim2_, &tromb_}) {
    if (f->fp != nullptr) std::fclose(f->fp);
  }
  if (console_.fp != nullptr) std::fflush(console_.fp);
}

ResultFiles::File& ResultFiles::file(Channel channel) {
  switch (channel) {
    case Channel::console:
      return console_;
    case Channel::adet:
      return adet_;
    case Channel::kelvorat:
      return kelvorat_;
    case Channel::kelvdim:
      return kelvdim_;
    case Channel::dim2:
      return dim2_;
    case Channel::tromb:
      return tromb_;
  }
  return adet_;
}

void ResultFiles::check(File& f) {
  if (std::ferror(f.fp) != 0) {
    const int err = errno;
    throw FileError(f.name + ": cannot write: " + reason(err));
  }
}

void ResultFiles::line(Channel channel, std::string_view text) {
  if (interrupt_signal != 0) throw Interrupted(interrupt_signal, progress_.where());
  File& f = file(channel);
  progress_.note(channel, text);
  if (f.fp == nullptr) throw FileError(f.name + ": cannot write: the file is closed");
  std::fwrite(text.data(), 1, text.size(), f.fp);
  std::fputc('\n', f.fp);
  check(f);
}

void ResultFiles::flush() {
  for (File* f : {&console_, &adet_, &kelvorat_, &kelvdim_, &dim2_, &tromb_}) {
    if (f->fp == nullptr) continue;
    if (std::fflush(f->fp) != 0) throw FileError(f->name + ": cannot write: " + reason(errno));
  }
}

void ResultFiles::close() {
  flush();
  for (File* f : {&adet_, &kelvorat_, &kelvdim_, &dim2_, &tromb_}) {
    if (f->fp == nullptr) continue;
    const int rc = std::fclose(f->fp);
    f->fp = nullptr;
    if (rc != 0) throw FileError(f->name + ": cannot write: " + reason(errno));
  }
}

}  // namespace kelvorat
