#include "runtime/settings_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#if !defined(_WIN32)
#include <iconv.h>
#endif

#include "runtime/byte_search.h"
#include "runtime/memory.h"

namespace runtime {
namespace {

constexpr const char* kNoSelect = nullptr;  // leave the store at the top level after opening
const std::string kDefault = " D\xE4" "f ";  // blanks and an 8-bit letter: returned as passed

std::string Str(const Text& t) { return std::string(t.CStr(), t.Length()); }

std::string Printable(const std::string& bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

void Open(SettingsStore& store, const std::string& content) {
  ASSERT_EQ(OpenSettingsBytes(store, content.data(), content.size()), 1) << Printable(content);
}

std::string Read(const SettingsStore& store, const char* key) {
  return Str(store.Read(Text(key), Text(kDefault.c_str())));
}

// The lines as "G[name]", "C[text]" and "E[key][value]", one per line; blank lines give none.
std::string Dump(const SettingsStore& store) {
  std::string out;
  const char* const end = store.Content() + store.ContentSize();
  for (const char* p = store.Content(); p < end;) {
    const SettingsLine line = ReadSettingsLine(p, end);
    p = line.next;
    if (line.kind == SettingsLineKind::kBlank) continue;
    const std::string text(line.text, line.text_length);
    switch (line.kind) {
      case SettingsLineKind::kGroup: out += "G[" + Printable(text) + "]"; break;
      case SettingsLineKind::kComment: out += "C[" + Printable(text) + "]"; break;
      default:
        out += "E[" + Printable(std::string(line.key, line.key_length)) + "][" +
               Printable(text) + "]";
        break;
    }
    out += "\n";
  }
  return out;
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) {
    s.replace(at, from.size(), to);
  }
  return s;
}

TEST(SettingsStoreTest, LinesBecomeRecords) {
  const struct { std::string content; std::string records; } cases[] = {
      {"", ""},
      {"\n\r\n\r\r\n\n", ""},
      {"   \n\t\t\n \t ", ""},                          // blank lines, last one without end
      {"key=value", "E[key][value]\n"},                 // last line without a line end
      {"; note", "C[note]\n"},
      {";note", "C[note]\n"},
      {";  two spaces ", "C[ two spaces ]\n"},         // only one space is the separator
      {";\tTab", "C[\\x09Tab]\n"},
      {"\t ; indented", "C[indented]\n"},
      {";", "C[]\n"},
      {"[Tavelmark]", "G[Tavelmark]\n"},
      {"  [Tavelmark] ; not a comment", "G[Tavelmark]\n"},
      {"[ Tavel mark ]", "G[ Tavel mark ]\n"},          // nothing inside the brackets is trimmed
      {"[Tavelmark ", "G[Tavelmark ]\n"},               // no "]": the rest of the line
      {"[]", "G[]\n"},
      {"[a]b]", "G[a]\n"},
      {"[a=b]", "G[a=b]\n"},
      {" \t key \t = \t value \t ", "E[key][value \\x09 ]\n"},  // trailing blanks stay
      {"key", "E[key][]\n"},
      {"key \t", "E[key][]\n"},
      {"key=", "E[key][]\n"},
      {"key = ", "E[key][]\n"},
      {"=value", "E[][value]\n"},
      {"  = value", "E[][value]\n"},
      {"k=a=b;c [d]", "E[k][a=b;c [d]]\n"},
      {"k;x=1", "E[k;x][1]\n"},
      {"k[x]=1", "E[k[x]][1]\n"},
      {"#k=v", "E[#k][v]\n"},
      {"in ner key=in ner value", "E[in ner key][in ner value]\n"},
      {"\xA0key\xA0=\xA0v\xA0", "E[\\xA0key\\xA0][\\xA0v\\xA0]\n"},  // no-break space is text
      {"a=1\n\n\nb=2\r\n\r\nc=3\r\r", "E[a][1]\nE[b][2]\nE[c][3]\n"},
      {"[G]\r\n; c\r\nk=v\r\n", "G[G]\nC[c]\nE[k][v]\n"},
  };
  for (const auto& c : cases) {
    SettingsStore store;
    Open(store, c.content);
    EXPECT_EQ(Dump(store), c.records) << "content: " << Printable(c.content);
  }
}

TEST(SettingsStoreTest, AllLineEndStylesGiveTheSameRecords) {
  const std::string lf =
      "; settings\n[Tavelmark]\n  default_pakset = pak128 \n\nmorvenholt_directory=C:\\M\\\n"
      "empty=\nbare\n[Other]\nx=1\n";
  const std::string expected =
      "C[settings]\nG[Tavelmark]\nE[default_pakset][pak128 ]\n"
      "E[morvenholt_directory][C:\\x5CM\\x5C]\nE[empty][]\nE[bare][]\nG[Other]\nE[x][1]\n";
  const std::string crlf = Replace(lf, "\n", "\r\n");
  const std::string variants[] = {
      lf, crlf, Replace(lf, "\n", "\r"), Replace(lf, "\n", "\n\r"),
      Replace(lf, "\n\n", "\r\n\n\r\r"),
      lf.substr(0, lf.size() - 1),       // no end on the last line
      crlf.substr(0, crlf.size() - 2),
  };
  for (std::size_t i = 0; i < std::size(variants); ++i) {
    SettingsStore store;
    Open(store, variants[i]);
    EXPECT_EQ(Dump(store), expected) << "variant " << i << ": " << Printable(variants[i]);
    EXPECT_EQ(store.SelectGroup(Text("Tavelmark")), 1) << "variant " << i;
    EXPECT_EQ(Read(store, "default_pakset"), "pak128") << "variant " << i;
    EXPECT_EQ(Read(store, "morvenholt_directory"), "C:\\M\\") << "variant " << i;
    EXPECT_EQ(Read(store, "bare"), "") << "variant " << i;
  }
}

// One row: open `content`, select `group` (unless kNoSelect), then read `key`. `value` is
// null when the default must come back.
struct LookupCase {
  std::string content;
  const char* group;
  int selected;
  const char* key;
  const char* value;
};

void CheckLookups(const LookupCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const LookupCase& c = cases[i];
    SettingsStore store;
    Open(store, c.content);
    if (c.group != kNoSelect) {
      EXPECT_EQ(store.SelectGroup(Text(c.group)), c.selected)
          << "group \"" << Printable(c.group) << "\" in " << Printable(c.content);
    }
    EXPECT_EQ(Read(store, c.key), c.value ? c.value : kDefault)
        << "key \"" << Printable(c.key) << "\" after group \""
        << Printable(c.group ? c.group : "(none)") << "\" in " << Printable(c.content);
  }
}

TEST(SettingsStoreTest, GroupsAndKeysMatchWithOnlyAToZFolded) {
  const LookupCase cases[] = {
      {"[TAVELMARK]\nkey=v", "Tavelmark", 1, "key", "v"},
      {"[tavelmark]\nkey=v", "TaVeLmArK", 1, "KEY", "v"},
      {"[Tavelmark]\nDEFAULT_PAKSET=v", "Tavelmark", 1, "default_pakset", "v"},
      {"[ Tavelmark]\nkey=v", "Tavelmark", 0, "key", nullptr},
      {"[ Tavelmark]\nkey=v", " Tavelmark", 1, "key", "v"},
      {"[Tavelmark ]\nkey=v", "Tavelmark", 0, "key", nullptr},
      {"\t  [Tavelmark] old name\nkey=v", "Tavelmark", 1, "key", "v"},
      {"[Tavelmark\nkey=v", "Tavelmark", 1, "key", "v"},
      {"[Tavelmark]\nkey=v", "Tavel", 0, "key", nullptr},
      {"[Tavel]\nkey=v", "Tavelmark", 0, "key", nullptr},
      {"[G]\nkey=v", "G", 1, "ke", nullptr},
      {"[G]\nkey=v", "G", 1, "keys", nullptr},
      {"[G]\nkey=v", "G", 1, "key ", nullptr},
      {"[G]\nkey=v", "G", 1, " key", nullptr},
      // Only letters fold: neighbours that differ by 0x20 as well stay apart.
      {"[G]\nk@=v", "G", 1, "k`", nullptr},
      {"[G]\nk[=v", "G", 1, "k{", nullptr},
      {"[G]\ndefault_pakset=v", "G", 1, "default\x7Fpakset", nullptr},
      {"[G]\n\xC4rger=v", "G", 1, "\xE4rger", nullptr},
      {"[\xC4rger]\nk=v", "\xE4rger", 0, "k", nullptr},
      {"[\xC4rger]\nk=v", "\xC4RGER", 1, "K", "v"},
      {"\xEF\xBB\xBF[G]\n\xC3\x84=v", "G", 1, "\xC3\xA4", nullptr},  // not in UTF-8 either
  };
  CheckLookups(cases, std::size(cases));
}

TEST(SettingsStoreTest, ValuesLoseTheirBlanksAndKeepEverythingElse) {
  const LookupCase cases[] = {
      {"[G]\n \t key \t = \t value \t \r\n", "G", 1, "key", "value"},
      {"[G]\nkey=a = b ; c", "G", 1, "key", "a = b ; c"},
      {"[G]\nkey==x=", "G", 1, "key", "=x="},
      {"[G]\nkey=;x", "G", 1, "key", ";x"},
      {"[G]\nkey=", "G", 1, "key", ""},
      {"[G]\nkey = \t \r\nnext=1", "G", 1, "key", ""},
      {"[G]\nkey\r\nnext=1", "G", 1, "key", ""},
      {"[G]\nkey\rnext=1", "G", 1, "key", ""},
      {"[G]\nkey\nnext=1", "G", 1, "key", ""},
      {"[G]\nkey", "G", 1, "key", ""},
      {"[G]\nkey\t", "G", 1, "key", ""},
      {"[G]\n=v", "G", 1, "", "v"},
      {"[G]\nkey=\xA0v\xA0", "G", 1, "key", "\xA0v\xA0"},
      {"[G]\nkey=C:\\Spiele\\Morvenholt\\", "G", 1, "key", "C:\\Spiele\\Morvenholt\\"},
      {"[G]\n#key=v", "G", 1, "#key", "v"},
      {"[G]\n#key=v", "G", 1, "key", nullptr},
      {"[G]\n;key=v", "G", 1, "key", nullptr},
      {"[G]\n; key=v", "G", 1, "; key", nullptr},
      {"[G]\nkey=v ; old value", "G", 1, "key", "v ; old value"},
  };
  CheckLookups(cases, std::size(cases));
}

TEST(SettingsStoreTest, LookupsStayInsideTheCurrentGroup) {
  const LookupCase cases[] = {
      {"[G]\nk=1\nk=2", "G", 1, "k", "1"},
      {"[G]\nk=1\nK=2", "G", 1, "K", "1"},
      {"[G]\nj=1\n[G]\nk=2", "G", 1, "k", nullptr},  // the second header is never selected
      {"[G]\nj=1\n[g]\nk=2", "g", 1, "j", "1"},
      {"top=t\n[G]\nk=g", kNoSelect, 0, "top", "t"},
      {"top=t\n[G]\nk=g", "", 1, "top", "t"},
      {"top=t\n[G]\nk=g", "G", 1, "top", nullptr},
      {"top=t\n[G]\nk=g", kNoSelect, 0, "k", nullptr},
      {"k=t\n[G]\nk=g", "G", 1, "k", "g"},
      {"[A]\nk=a\n[B]\nj=b", "A", 1, "j", nullptr},
      {"[A]\nk=a\n[B]\nj=b", "B", 1, "k", nullptr},
      {"[A]\n;k=x\nk=a\n[B]", "A", 1, "k", "a"},
      {"[A]\n[B]\nk=b", "A", 1, "k", nullptr},
      {"[A]\nk=a", "Missing", 0, "k", nullptr},
  };
  CheckLookups(cases, std::size(cases));
}

TEST(SettingsStoreTest, Utf8StoresConvertNamesKeysAndValues) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string umlauts = "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F";  // äöüß in UTF-8
  const LookupCase cases[] = {
      {bom + "[G]\nk=" + umlauts, "G", 1, "k", "\xE4\xF6\xFC\xDF"},
      {"[G]\nk=" + umlauts, "G", 1, "k", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"},  // no mark
      {bom + "[Gr\xC3\xBC\xC3\x9F" "e]\nk=v", "Gr\xFC\xDF" "e", 1, "k", "v"},
      {"[Gr\xC3\xBC\xC3\x9F" "e]\nk=v", "Gr\xFC\xDF" "e", 0, "k", nullptr},
      {"[Gr\xFC\xDF" "e]\nk=v", "Gr\xFC\xDF" "e", 1, "k", "v"},
      {bom + "[G]\nSch\xC3\xA4tze=v", "G", 1, "Sch\xE4tze", "v"},
      {bom + "[G]\nSch\xC3\xA4tze=v", "G", 1, "Sch\xC3\xA4tze", nullptr},
      {bom + "[G]\nk=5 \xE2\x82\xAC", "G", 1, "k", ""},        // the euro sign: empty, not default
      {"[G]\nk=5 \xE2\x82\xAC", "G", 1, "k", "5 \xE2\x82\xAC"},
      {bom + "[G]\nk= \t\xC3\xA4 \t", "G", 1, "k", "\xE4"},
      {bom + "[G]\nk=x \xC3", "G", 1, "k", "x"},  // cut-off sequence dropped, then trimmed
      {bom + "[G]\nk=\xC3\xA4\x80", "G", 1, "k", ""},          // stray continuation byte
      {bom + "[G]\nk=\xFC", "G", 1, "k", ""},                  // 8-bit text in a UTF-8 store
      {bom + "[G]\nk=\xC2\xA0v\xC2\xA0", "G", 1, "k", "\xA0v\xA0"},
      {bom + "[G]\nk=\xC1\x81", "G", 1, "k", "A"},             // overlong forms are accepted
      {bom + "[G]\nk=a\xC0\x80" "b", "G", 1, "k", "a"},       // an overlong zero ends the text
      {bom + "[G]\nk=ab", "G", 1, "k", "ab"},
      {bom, "", 1, "k", nullptr},
  };
  CheckLookups(cases, std::size(cases));
}

#if !defined(_WIN32)
// A decoder into another code page, as the platform hands the store one on such a system; here
// the C library's converter stands in for Windows' own.
const char* decoderCodePage = nullptr;

bool DecodeThroughIconv(const char* in, std::size_t length, char* out) {
  *out = '\0';
  const iconv_t converter = iconv_open(decoderCodePage, "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  char* from = const_cast<char*>(in);
  char* to = out;
  std::size_t left = length;
  std::size_t room = length;
  const bool ok = iconv(converter, &from, &left, &to, &room) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  *to = '\0';
  if (!ok) *out = '\0';
  return ok;
}

TEST(SettingsStoreTest, Utf8StoresDecodeIntoTheSystemsCodePage) {
  const std::string bom = "\xEF\xBB\xBF";
  const struct {
    const char* codePage;
    std::string value;     // UTF-8, as the file holds it
    std::string expected;  // in that code page; empty when a character has no form there
  } cases[] = {
      {"CP932", "S:\\\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0\\", "S:\\\x83\x51\x81\x5B\x83\x80\\"},
      {"CP932", "\xE8\xA1\xA8", "\x95\x5C"},  // 表: its second byte is a backslash
      {"CP932", "M\xC3\xB6rvenholt", ""},         // ö has no form in 932
      {"CP1251", "S:\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B\\", "S:\\\xC8\xE3\xF0\xFB\\"},  // Игры
      {"CP1251", "5 \xE2\x82\xAC", "5 \x88"},  // the euro sign is in 1251
      {"CP1251", "\xE8\xA1\xA8", ""},
      {"CP1251", "\xC3\xA4\x80", ""},  // no UTF-8
  };
  for (const auto& c : cases) {
    decoderCodePage = c.codePage;
    SettingsStore store;
    store.SetDecoder(DecodeThroughIconv);
    Open(store, bom + "[G]\nk=" + c.value + " \n");
    ASSERT_EQ(store.SelectGroup(Text("G")), 1);
    EXPECT_EQ(Printable(Read(store, "k")), Printable(c.expected)) << c.codePage << " " << Printable(c.value);
  }
  // Without a decoder a store reads ISO 8859-1, as on a system whose code page is 1252.
  SettingsStore store;
  Open(store, bom + "[G]\nk=\xC3\xB6 \xE2\x82\xAC\n");
  ASSERT_EQ(store.SelectGroup(Text("G")), 1);
  EXPECT_EQ(Read(store, "k"), "");
}
#endif

TEST(SettingsStoreTest, DefaultsComeBackExactlyAsPassed) {
  SettingsStore store;
  Open(store, "\xEF\xBB\xBF[G]\nk=v");
  ASSERT_EQ(store.SelectGroup(Text("G")), 1);
  const char* defaults[] = {"", " pak ", "\xE4\xF6", "\xC3\xA4", "\t"};
  for (const char* d : defaults) {
    EXPECT_EQ(Str(store.Read(Text("missing"), Text(d))), d) << Printable(d);
  }
  const Text absent_default = store.Read(Text("missing"), Text());
  EXPECT_EQ(Str(absent_default), "");
  EXPECT_FALSE(absent_default.IsAbsent());
  EXPECT_EQ(Str(store.Read(Text(), Text("d"))), "d");  // an absent key is the empty key
}

TEST(SettingsStoreTest, Utf8ConversionsFollowTheByteRules) {
  const struct { std::string in; bool ok; std::string out; } decodes[] = {
      {"", true, ""},
      {"plain ASCII", true, "plain ASCII"},
      {"\xC3\xA4", true, "\xE4"},
      {"\xC2\x80\xC3\xBF", true, "\x80\xFF"},
      {"\xC4\x80", false, ""},                // U+0100
      {"\xE2\x82\xAC", false, ""},            // U+20AC
      {"\xF4\x8F\xBF\xBF", false, ""},
      {"\x80", false, ""},
      {"a\xBF", false, ""},
      {"\xF8\x80\x80\x80\x80", false, ""},
      {"\xFF", false, ""},
      {"\xC3\x41", false, ""},
      {"\xC3\xC3\xA4", false, ""},
      {"\xE0\x80\x41", false, ""},
      {"\xC3", true, ""},                     // fewer bytes left than the sequence needs
      {"a\xE2\x82", true, "a"},
      {"a\xF0\x80\x80", true, "a"},
      {"\xC3 ", false, ""},                   // two bytes left, the second no continuation
      {"\xC1\x81", true, "A"},
      {"\xE0\x81\x81", true, "A"},
      {"\xF0\x80\x81\x81", true, "A"},
      {"\xE0\x83\xBF", true, "\xFF"},
  };
  for (const auto& c : decodes) {
    std::vector<char> out(c.in.size() + 1, 'X');
    EXPECT_EQ(Utf8ToLatin1(c.in.c_str(), out.data()), c.ok) << Printable(c.in);
    if (c.ok) {
      EXPECT_EQ(std::string(out.data()), c.out) << Printable(c.in);
    }
  }
  const struct { std::string in; std::string out; } encodes[] = {
      {"", ""}, {"Tavelmark", "Tavelmark"}, {"\xE4", "\xC3\xA4"},
      {"\x7F\x80", "\x7F\xC2\x80"}, {"\xFF\xDF", "\xC3\xBF\xC3\x9F"},
  };
  for (const auto& c : encodes) {
    std::vector<char> out(2 * c.in.size() + 1, 'X');
    Latin1ToUtf8(c.in.c_str(), out.data());
    EXPECT_EQ(Printable(out.data()), Printable(c.out)) << Printable(c.in);
  }
}

TEST(SettingsStoreTest, FailedSelectionHidesEveryGroupUntilTheNextSuccess) {
  SettingsStore store;
  Open(store, "top=t\n[A]\nk=a\n[B]\nj=b");
  ASSERT_EQ(store.SelectGroup(Text("A")), 1);
  EXPECT_EQ(Read(store, "k"), "a");
  EXPECT_EQ(store.SelectGroup(Text("Tavelmark")), 0);
  EXPECT_EQ(Read(store, "k"), kDefault);    // the group current before is hidden too
  EXPECT_EQ(Read(store, "top"), kDefault);
  EXPECT_EQ(store.SelectGroup(Text("Also missing")), 0);
  EXPECT_EQ(Read(store, "k"), kDefault);
  EXPECT_EQ(store.SelectGroup(Text("B")), 1);
  EXPECT_EQ(Read(store, "j"), "b");
  EXPECT_EQ(store.SelectGroup(Text("X")), 0);
  EXPECT_EQ(store.SelectGroup(Text()), 1);  // the empty name: the top level again
  EXPECT_EQ(Read(store, "top"), "t");
  EXPECT_EQ(Read(store, "j"), kDefault);
}

TEST(SettingsStoreTest, ClosedAndFilelessStoresAnswerWithDefaults) {
  SettingsStore store;
  EXPECT_FALSE(store.IsOpen());
  EXPECT_EQ(store.SelectGroup(Text("")), 0);
  EXPECT_EQ(store.SelectGroup(Text("Tavelmark")), 0);
  EXPECT_EQ(Read(store, "k"), kDefault);
  store.Close();
  store.Close();

  ASSERT_TRUE(store.OpenWithoutFile(Text("C:\\nowhere\\config.pref")));
  EXPECT_TRUE(store.IsOpen());
  EXPECT_FALSE(store.HasFile());
  EXPECT_STREQ(store.RememberedPath(), "C:\\nowhere\\config.pref");
  EXPECT_EQ(store.SelectGroup(Text("")), 1);
  EXPECT_EQ(store.SelectGroup(Text("Tavelmark")), 0);
  EXPECT_EQ(Read(store, "default_pakset"), kDefault);
  EXPECT_EQ(store.SelectGroup(Text("")), 1);
  EXPECT_EQ(Read(store, "default_pakset"), kDefault);
  store.Close();
  EXPECT_FALSE(store.IsOpen());
  EXPECT_EQ(store.RememberedPath(), nullptr);
  EXPECT_EQ(store.SelectGroup(Text("")), 0);

  ASSERT_TRUE(store.OpenWithoutFile(Text()));  // an absent path is the empty path
  EXPECT_TRUE(store.IsOpen());
}

TEST(SettingsStoreTest, EmptyContentOpensWithoutRecords) {
  const struct { std::string content; std::int32_t encoding; } cases[] = {
      {"", kSettingsPlain},
      {"\xEF\xBB\xBF", kSettingsUtf8},
      {"\xEF\xBB\xBF\r\n  \n", kSettingsUtf8},
  };
  for (const auto& c : cases) {
    SettingsStore store;
    Open(store, c.content);
    EXPECT_TRUE(store.HasFile()) << Printable(c.content);
    EXPECT_EQ(store.Encoding(), c.encoding) << Printable(c.content);
    EXPECT_EQ(Dump(store), "") << Printable(c.content);
    EXPECT_EQ(store.SelectGroup(Text("")), 1) << Printable(c.content);
    EXPECT_EQ(Read(store, "default_pakset"), kDefault) << Printable(c.content);
  }
  SettingsStore store;
  Open(store, "\xEF\xBB");  // too short for a mark: plain text
  EXPECT_EQ(store.Encoding(), kSettingsPlain);
  EXPECT_EQ(Dump(store), "E[\\xEF\\xBB][]\n");
  Open(store, "x\xEF\xBB\xBF");  // a mark later in the file is text
  EXPECT_EQ(store.Encoding(), kSettingsPlain);
}

TEST(SettingsStoreTest, ReopeningStartsAfresh) {
  SettingsStore store;
  Open(store, "\xEF\xBB\xBF[A]\nk=a");
  ASSERT_EQ(store.SelectGroup(Text("A")), 1);
  ASSERT_EQ(store.SelectGroup(Text("X")), 0);
  Open(store, "k=top\n[A]\nk=\xE4");
  EXPECT_EQ(store.Encoding(), kSettingsPlain);
  EXPECT_EQ(Read(store, "k"), "top");  // top level, no missing group
  EXPECT_EQ(store.SelectGroup(Text("A")), 1);
  EXPECT_EQ(Read(store, "k"), "\xE4");
}

// Content with zero bytes is no settings text; it must only be read safely.
TEST(SettingsStoreTest, ZeroBytesAreReadSafely) {
  const std::string utf16(
      "\xFF\xFE[\0T\0a\0v\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0", 26);
  SettingsStore store;
  Open(store, utf16);
  EXPECT_EQ(store.SelectGroup(Text("Tavelmark")), 0);
  EXPECT_EQ(store.SelectGroup(Text("")), 1);
  EXPECT_EQ(Read(store, "k"), kDefault);
  EXPECT_EQ(Read(store, ""), "");  // a line that begins with a zero byte reads as the empty key

  Open(store, std::string("a=1\0tail\nb=2\n\0", 14));
  EXPECT_EQ(Read(store, "a"), "1");
  EXPECT_EQ(Read(store, "b"), "2");
  Open(store, std::string("\xEF\xBB\xBF[\0\0", 6));
  EXPECT_EQ(store.SelectGroup(Text("")), 1);
  Open(store, std::string(1, '\0'));
  EXPECT_EQ(Read(store, "k"), kDefault);
}

// The search runs in blocks of 16 and 64 bytes with a byte-wise tail: every length and offset
// around those sizes, with the sought byte first found there, and a decoy just past the end.
TEST(SettingsStoreTest, ByteSearchFindsTheFirstMatchAtEveryOffset) {
  for (std::size_t length = 0; length <= 140; ++length) {
    std::string bytes(length + 1, 'x');
    bytes[length] = '[';  // outside the range searched
    const char* const from = bytes.data();
    const char* const to = from + length;
    EXPECT_EQ(FindByte(from, to, '['), to) << "length " << length;
    EXPECT_EQ(FindEither(from, to, '\r', '['), to) << "length " << length;
    for (std::size_t at = 0; at < length; ++at) {
      std::string hit = bytes;
      hit[at] = '\n';
      if (at + 1 < length) hit[at + 1] = '\r';
      const char* const base = hit.data();
      const char* const want = base + at;
      EXPECT_EQ(FindByte(base, base + length, '\n'), want) << "length " << length << " at " << at;
      EXPECT_EQ(FindEither(base, base + length, '\r', '\n'), want) << "length " << length;
      EXPECT_EQ(FindEither(base, base + length, '\n', '\r'), want) << "length " << length;
    }
  }
}

// Texts are made before the failure is armed: their own copies count as allocations too.
class SettingsMemoryTest : public ::testing::Test {
 protected:
  void TearDown() override { FailAllocationAfter(0); }
  const Text default_{kDefault.c_str()};
  const Text empty_{""};
  const Text k_{"k"};
  const Text j_{"j"};
  const Text a_{"A"};
  const Text b_{"B"};
  const Text g_{"G"};
  const Text h_{"H"};
  const Text missing_{"Missing"};
};

TEST_F(SettingsMemoryTest, ContentBufferRunningOutLeavesAnOpenStoreWithoutRecords) {
  SettingsStore store;
  FailAllocationAfter(1);
  EXPECT_EQ(OpenSettingsBytes(store, "[G]\nk=v", 7), 1);
  EXPECT_TRUE(store.HasFile());
  EXPECT_EQ(store.Content(), nullptr);
  EXPECT_EQ(store.SelectGroup(g_), 0);
  EXPECT_EQ(store.SelectGroup(empty_), 1);
  EXPECT_EQ(Str(store.Read(k_, default_)), kDefault);
}

TEST_F(SettingsMemoryTest, RememberedPathRunningOutLeavesTheStoreClosed) {
  SettingsStore store;
  const Text path("C:\\config.pref");
  FailAllocationAfter(1);
  EXPECT_FALSE(store.OpenWithoutFile(path));
  EXPECT_FALSE(store.IsOpen());
  EXPECT_EQ(store.SelectGroup(empty_), 0);
  EXPECT_EQ(Str(store.Read(k_, default_)), kDefault);
}

TEST_F(SettingsMemoryTest, PreparedNamesAndKeysRunningOutChangeNothing) {
  for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
    SettingsStore store;
    Open(store, mark + "[A]\nk=a\n[B]\nk=b");
    ASSERT_EQ(store.SelectGroup(a_), 1);
    FailAllocationAfter(1);
    EXPECT_EQ(store.SelectGroup(b_), 0) << "mark " << mark.size();
    EXPECT_EQ(Str(store.Read(k_, default_)), "a") << "A stays current; mark " << mark.size();
    FailAllocationAfter(1);
    EXPECT_EQ(Str(store.Read(k_, default_)), kDefault) << "mark " << mark.size();

    EXPECT_EQ(store.SelectGroup(missing_), 0);
    FailAllocationAfter(1);
    EXPECT_EQ(store.SelectGroup(b_), 0) << "mark " << mark.size();
    EXPECT_EQ(Str(store.Read(k_, default_)), kDefault)
        << "the missing group stays; mark " << mark.size();
    EXPECT_EQ(store.SelectGroup(b_), 1);
    EXPECT_EQ(Str(store.Read(k_, default_)), "b") << "mark " << mark.size();
  }
}

// Opening allocates the content buffer and nothing more, however many lines it holds: with the
// second allocation set to fail, every line is there and the first read is what runs out.
TEST_F(SettingsMemoryTest, OpeningAllocatesOnlyTheContentBuffer) {
  const std::string content = "k=top\n[G]\nk=g\n; c\n[H]\nj=h\n";
  SettingsStore store;
  FailAllocationAfter(2);
  Open(store, content);
  EXPECT_EQ(Str(store.Read(k_, default_)), kDefault) << "the prepared key was the second";
  EXPECT_EQ(Dump(store), "E[k][top]\nG[G]\nE[k][g]\nC[c]\nG[H]\nE[j][h]\n");
  EXPECT_EQ(Str(store.Read(k_, default_)), "top");
  EXPECT_EQ(store.SelectGroup(h_), 1);
  EXPECT_EQ(Str(store.Read(j_, default_)), "h");
}

TEST_F(SettingsMemoryTest, ManyLinesAreAllReached) {
  std::string content;
  for (int i = 0; i < 10000; ++i) {
    content += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  }
  content += "[G]\nlast = here\n";
  SettingsStore store;
  Open(store, content);
  EXPECT_EQ(Str(store.Read(Text("k9999"), default_)), "9999");
  EXPECT_EQ(Str(store.Read(Text("k0"), default_)), "0");
  EXPECT_EQ(store.SelectGroup(g_), 1);
  EXPECT_EQ(Str(store.Read(Text("last"), default_)), "here");
  store.Close();
  EXPECT_EQ(store.Content(), nullptr);
}

}  // namespace
}  // namespace runtime
