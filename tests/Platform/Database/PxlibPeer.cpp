// pxlib as a peer: writes a language table with its memo file the way pxlib lays it out, and
// reads one back with pxlib's own memo reader. Its memo reader aborts on some files, so tests
// run it as a program of its own. libpx's own cipher of memo files enciphers and deciphers the
// memo file of an encrypted table with the table's key, as pxlib reads it from the table.
//
//   pxlib_peer write TABLE.DB MEMO.MB ROWS [PASSWORD]   rows from the file ROWS, encrypted with PASSWORD
//   pxlib_peer read TABLE.DB MEMO.MB                    rows to standard output
//   pxlib_peer encipher TABLE.DB MEMO.MB                the memo file padded to whole 4 kB blocks and
//                                                       enciphered, in place
//   pxlib_peer decipher TABLE.DB MEMO.MB                the memo file deciphered, in place
//
// A row is one line: lid lfkmodid llang lislong ltext llongtext, the texts as hexadecimal bytes
// (stored as they are, in the table's code page), "-" for null.
extern "C" {
#include <paradox.h>
}

// libpx exports its cipher of memo files without declaring it.
extern "C" {
void px_encrypt_mb_block(unsigned char* src, unsigned char* dest, long encryption, long size);
void px_decrypt_mb_block(unsigned char* src, unsigned char* dest, long encryption, long size);
}

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kNames[] = {"lid", "lfkmodid", "llang", "ltext", "llongtext", "lislong"};
const char kTypes[] = {pxfLong, pxfLong, pxfLong, pxfAlpha, pxfMemoBLOb, pxfShort};
const int kLengths[] = {4, 4, 4, 80, 240, 2};

// pxlib's messages go to standard error; standard output carries only rows.
void report(pxdoc_t*, int, const char* message, void*) { std::fprintf(stderr, "pxlib: %s\n", message); }

pxdoc_t* newDoc() { return PX_new3(report, nullptr, nullptr, nullptr, nullptr); }

std::string fromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string toHex(const char* bytes, int length) {
  std::string out;
  char buf[3];
  for (int i = 0; i < length; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
    out += buf;
  }
  return out;
}

// A new language table, encrypted when a password is given.
pxdoc_t* createTable(const char* table, const char* password) {
  pxdoc_t* px = newDoc();
  auto* fields = static_cast<pxfield_t*>(px->malloc(px, sizeof(pxfield_t) * 6, "fields"));
  for (int i = 0; i < 6; ++i) {
    fields[i].px_fname = PX_strdup(px, kNames[i]);
    fields[i].px_ftype = kTypes[i];
    fields[i].px_flen = kLengths[i];
    fields[i].px_fdc = 0;
  }
  if (PX_create_file(px, fields, 6, table, pxfFileTypNonIndexDB) < 0 ||
      (password && PX_set_parameter(px, "password", password) < 0))
    return nullptr;
  px->px_head->px_doscodepage = 1252;
  return px;
}

// pxlib's memo writer mixes up the memos of an encrypted table, so the table is written plain and
// then copied, record by record as stored, into one encrypted with the password.
int encrypt(const char* table, const char* password) {
  pxdoc_t* plain = newDoc();
  if (PX_open_file(plain, table) < 0) return 1;
  const int size = PX_get_recordsize(plain);
  std::vector<std::string> records;
  for (int r = 0; r < PX_get_num_records(plain); ++r) {
    records.emplace_back(size, '\0');
    if (!PX_get_record(plain, r, records.back().data())) return 1;
  }
  PX_close(plain);
  PX_delete(plain);
  pxdoc_t* px = createTable(table, password);
  if (!px) return 1;
  for (auto& record : records)
    if (PX_put_record(px, record.data()) < 0) return 1;
  PX_close(px);
  PX_delete(px);
  return 0;
}

int write(const char* table, const char* memo, const char* rows, const char* password) {
  pxdoc_t* px = createTable(table, nullptr);
  if (!px || PX_set_blob_file(px, memo) < 0) return 1;
  std::ifstream in(rows);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    long numbers[4];
    std::string texts[2];
    words >> numbers[0] >> numbers[1] >> numbers[2] >> numbers[3] >> texts[0] >> texts[1];
    pxval_t values[6];
    pxval_t* pointers[6];
    std::memset(values, 0, sizeof values);
    const int numberField[] = {0, 1, 2, 5};
    for (int k = 0; k < 4; ++k)
      values[numberField[k]].value.lval = numbers[k];
    std::string stored[2];
    for (int k = 0; k < 2; ++k) {
      pxval_t& v = values[3 + k];
      if (texts[k] == "-") {
        v.isnull = 1;
        continue;
      }
      stored[k] = fromHex(texts[k]);
      v.value.str.val = stored[k].data();
      v.value.str.len = static_cast<int>(stored[k].size());
    }
    for (int i = 0; i < 6; ++i) {
      values[i].type = kTypes[i];
      pointers[i] = &values[i];
    }
    if (PX_insert_record(px, pointers) < 0) return 1;
  }
  PX_close(px);
  PX_delete(px);
  return password ? encrypt(table, password) : 0;
}

int read(const char* table, const char* memo) {
  pxdoc_t* px = newDoc();
  if (PX_open_file(px, table) < 0 || PX_set_blob_file(px, memo) < 0) return 1;
  for (int r = 0; r < PX_get_num_records(px); ++r) {
    pxval_t** v = PX_retrieve_record(px, r);
    if (!v) return 1;
    std::string texts[2];
    for (int k = 0; k < 2; ++k) {
      const pxval_t* t = v[3 + k];
      texts[k] = t->isnull || !t->value.str.val ? "-" : toHex(t->value.str.val, t->value.str.len);
    }
    std::printf("%ld %ld %ld %ld %s %s\n", v[0]->value.lval, v[1]->value.lval, v[2]->value.lval,
                v[5]->value.lval, texts[0].c_str(), texts[1].c_str());
    for (int i = 0; i < 6; ++i) {
      if ((kTypes[i] == pxfAlpha || kTypes[i] == pxfMemoBLOb) && v[i]->value.str.val)
        px->free(px, v[i]->value.str.val);
      px->free(px, v[i]);
    }
    px->free(px, v);
  }
  PX_close(px);
  PX_delete(px);
  return 0;
}

int cipher(const char* table, const char* memo, bool encipher) {
  pxdoc_t* px = newDoc();
  if (PX_open_file(px, table) < 0) return 1;
  const long key = static_cast<long>(px->px_head->px_encryption);
  PX_close(px);
  PX_delete(px);
  std::ifstream in(memo, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.eof() && !in) return 1;
  if (encipher) bytes.resize((bytes.size() + 4095) / 4096 * 4096, '\0');
  auto* data = reinterpret_cast<unsigned char*>(bytes.data());
  const long size = static_cast<long>(bytes.size() / 256 * 256);
  if (encipher)
    px_encrypt_mb_block(data, data, key, size);
  else
    px_decrypt_mb_block(data, data, key, size);
  std::ofstream out(memo, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return out.flush() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  PX_boot();
  const std::string command = argc > 1 ? argv[1] : "";
  if ((argc == 5 || argc == 6) && command == "write")
    return write(argv[2], argv[3], argv[4], argc == 6 ? argv[5] : nullptr);
  if (argc == 4 && command == "read") return read(argv[2], argv[3]);
  if (argc == 4 && (command == "encipher" || command == "decipher"))
    return cipher(argv[2], argv[3], command == "encipher");
  std::fputs("usage: pxlib_peer write TABLE.DB MEMO.MB ROWS [PASSWORD] | read TABLE.DB MEMO.MB |"
             " encipher TABLE.DB MEMO.MB | decipher TABLE.DB MEMO.MB\n",
             stderr);
  return 2;
}
