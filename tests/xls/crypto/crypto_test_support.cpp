#include "tests/xls/crypto/crypto_test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/compound_file.h"
#include "xls/io/reader/read_stream.h"
#include "xls/model/codepage.h"

namespace xls::test {

std::vector<Record> ReadRecords(const std::string& path, const std::u16string& password, int& status) {
  std::vector<Record> out;
  TXLSReadStream stream(password);
  status = stream.OpenFile(Utf8ToWide(path));
  if (status != 1) return out;
  TXLSRecordGroupReader groups(stream);
  TXLSRecordGroup group;
  while ((status = groups.Next(group)) == 1) {
    for (std::size_t i = 0; i < group.chunks->Count(); ++i) {
      const TXLSBlob* chunk = group.chunks->GetChunk(i);
      Record r;
      r.id = i == 0 ? group.id : kRecContinue;
      r.body.assign(chunk->GetData(), chunk->GetData() + chunk->GetSize());
      out.push_back(std::move(r));
    }
  }
  if (status == kReadEndOfStream) status = 1;
  // The zero padding after the last EOF reads as empty records of id 0; the peer stops there.
  while (!out.empty() && out.back().id == 0 && out.back().body.empty()) out.pop_back();
  stream.Close();
  stream.CloseStorage();
  return out;
}

std::vector<Record> PeerRecords(const std::string& path) {
  std::string output;
  int rc = RunCommand("/usr/bin/python3 '" + SourceDir() + "/tests/xls/crypto/records_peer.py' '" + path + "'", output);
  std::vector<Record> out;
  if (rc != 0) return out;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    Record r;
    std::istringstream fields(line);
    unsigned id;
    std::string hex;
    fields >> id >> hex;
    r.id = static_cast<std::uint16_t>(id);
    if (hex != "-")
      for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        r.body.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<Record> AfterFilePass(const std::vector<Record>& records) {
  for (std::size_t i = 0; i < records.size(); ++i)
    if (records[i].id == kRecFilePass || (i == 1 && records[i].id == 0))
      return {records.begin() + static_cast<std::ptrdiff_t>(i) + 1, records.end()};
  // A twin that dropped FILEPASS: everything after the first BOF.
  if (!records.empty() && records[0].id == kRecBOF) return {records.begin() + 1, records.end()};
  return records;
}

std::string CompareRecords(const std::vector<Record>& ours, const std::vector<Record>& twin) {
  std::ostringstream out;
  if (ours.size() != twin.size()) out << "record counts " << ours.size() << " and " << twin.size() << "\n";
  int shown = 0;
  for (std::size_t i = 0; i < std::min(ours.size(), twin.size()) && shown < 5; ++i) {
    if (ours[i] == twin[i]) continue;
    ++shown;
    out << "record " << i << ": id 0x" << std::hex << ours[i].id << " length " << std::dec << ours[i].body.size()
        << ", twin id 0x" << std::hex << twin[i].id << " length " << std::dec << twin[i].body.size() << "\n";
  }
  return out.str();
}

bool WritePlainCopy(const std::vector<Record>& records, const std::string& path) {
  platform::CompoundFileWriter writer;
  std::vector<std::uint8_t>& stream = writer.StreamData(writer.AddStream(platform::CompoundFileWriter::kRoot, u"Workbook"));
  for (const Record& r : records) {
    bool filePass = r.id == kRecFilePass;
    std::uint16_t id = filePass ? 0 : r.id;
    auto n = static_cast<std::uint16_t>(r.body.size());
    stream.insert(stream.end(), {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8),
                                 static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)});
    if (filePass) stream.insert(stream.end(), n, 0);
    else stream.insert(stream.end(), r.body.begin(), r.body.end());
  }
  return static_cast<bool>(writer.SaveToFile(path));
}

std::string PeerCells(const std::string& path) {
  std::string output;
  int rc = RunCommand("/usr/bin/python3 '" + SourceDir() + "/tests/xls/crypto/cells_peer.py' '" + path + "'", output);
  return rc == 0 ? output : std::string();
}

int RunCommand(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SourceDir() { return KV_SOURCE_DIR; }

std::string SampleDir() {
  std::filesystem::path dir = std::filesystem::path(KV_SOURCE_DIR) / ".." / "shared" / "data" / "encrypted-xls";
  return std::filesystem::is_directory(dir) ? std::filesystem::canonical(dir).string() : std::string();
}

}  // namespace xls::test
