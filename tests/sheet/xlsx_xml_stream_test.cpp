#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/xml_stream.h"

namespace dialsift::sheet {
namespace {

// Records the events as text: "<ns|local attr=value>", "</local>", "[text]".
class Recorder : public XmlHandler {
 public:
  void StartElement(const XmlName& name, const XmlAttributes& attrs) override {
    log += "<" + std::string(name.ns) + "|" + std::string(name.local);
    attrs.ForEach([&](const XmlName& a, std::string_view v) {
      log += " " + std::string(a.ns) + (a.ns.empty() ? "" : "|") + std::string(a.local) + "=" +
             std::string(v);
    });
    log += ">";
    if (name.local == stop_at) Stop();
    if (name.local == fail_at) Fail("no " + fail_at + " here");
  }
  void EndElement(const XmlName& name) override { log += "</" + std::string(name.local) + ">"; }
  void Characters(std::string_view text) override { log += "[" + std::string(text) + "]"; }
  std::string log;
  std::string stop_at;
  std::string fail_at;
};

TEST(XmlStream, ResolvesNamespacesWhateverThePrefix) {
  Recorder r;
  const std::string xml =
      "<?xml version=\"1.0\"?><x:a xmlns:x=\"urn:one\" xmlns:r=\"urn:rel\" k=\"1\" r:id=\"rId7\">"
      "<b xmlns=\"urn:two\">t&amp;u</b></x:a>";
  ASSERT_TRUE(ParseXml(xml, "p.xml", r));
  EXPECT_EQ(r.log, "<urn:one|a k=1 urn:rel|id=rId7><urn:two|b>[t][&][u]</b></a>");
}

TEST(XmlStream, AttributeLookupSeparatesNamespaces) {
  struct H : XmlHandler {
    void StartElement(const XmlName&, const XmlAttributes& a) override {
      plain = a.Get("id").value_or("-");
      rel = a.Get("urn:rel", "id").value_or("-");
      missing = a.Get("nope").has_value();
    }
    void EndElement(const XmlName&) override {}
    void Characters(std::string_view) override {}
    std::string plain, rel;
    bool missing = true;
  } h;
  ASSERT_TRUE(ParseXml("<a xmlns:r='urn:rel' r:id='x' id='y'/>", "p.xml", h));
  EXPECT_EQ(h.plain, "y");
  EXPECT_EQ(h.rel, "x");
  EXPECT_FALSE(h.missing);
}

TEST(XmlStream, DamagedXmlNamesPartReasonAndLine) {
  Recorder r;
  auto status = ParseXml("<a>\n<b>\n</a>", "xl/worksheets/sheet1.xml", r);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().reason,
            "damaged XML in xl/worksheets/sheet1.xml: mismatched tag at line 3");

  auto truncated = ParseXml("<a><b>", "x.xml", r);
  ASSERT_FALSE(truncated);
  EXPECT_NE(truncated.error().reason.find("damaged XML in x.xml: "), std::string::npos);

  auto empty = ParseXml("", "x.xml", r);
  EXPECT_FALSE(empty);
}

TEST(XmlStream, RefusesAnyDoctype) {
  const std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\">"
      "<!ENTITY y \"&x;&x;&x;&x;&x;&x;&x;&x;&x;&x;\">]><a>&y;</a>";
  Recorder r;
  auto status = ParseXml(bomb, "xl/sharedStrings.xml", r);
  ASSERT_FALSE(status);
  EXPECT_NE(status.error().reason.find("DOCTYPE"), std::string::npos);
  EXPECT_NE(status.error().reason.find("xl/sharedStrings.xml"), std::string::npos);
  EXPECT_EQ(r.log, "");

  Recorder plain;
  EXPECT_FALSE(ParseXml("<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a/>", "p.xml", plain));
}

TEST(XmlStream, HandlerCanStopOrFail) {
  Recorder stop;
  stop.stop_at = "b";
  // Content after the stop point is never looked at, even when broken.
  ASSERT_TRUE(ParseXml("<a><b/><c>never</c><<<", "p.xml", stop));
  EXPECT_EQ(stop.log, "<|a><|b>");

  Recorder fail;
  fail.fail_at = "b";
  auto status = ParseXml("<a><b/></a>", "p.xml", fail);
  ASSERT_FALSE(status);
  EXPECT_EQ(status.error().reason, "no b here");
}

TEST(XmlStream, LongDocumentsAreFedInChunks) {
  // Several chunks' worth, with a text node and an attribute crossing chunk
  // boundaries, and deep nesting.
  std::string xml = "<r>";
  for (int i = 0; i < 20000; ++i) xml += "<c v=\"" + std::to_string(i) + "\">abcdefghij</c>";
  for (int i = 0; i < 5000; ++i) xml += "<d>";
  for (int i = 0; i < 5000; ++i) xml += "</d>";
  xml += "</r>";
  struct Counter : XmlHandler {
    void StartElement(const XmlName& n, const XmlAttributes& a) override {
      if (n.local == "c") sum += std::stol(std::string(*a.Get("v")));
      ++elements;
    }
    void EndElement(const XmlName&) override {}
    void Characters(std::string_view t) override { chars += t.size(); }
    long sum = 0;
    long elements = 0;
    std::size_t chars = 0;
  } h;
  ASSERT_TRUE(ParseXml(xml, "p.xml", h));
  EXPECT_EQ(h.sum, 20000L * 19999 / 2);
  EXPECT_EQ(h.elements, 1 + 20000 + 5000);
  EXPECT_EQ(h.chars, 20000u * 10);
}

TEST(XmlStream, Utf16DocumentsArriveAsUtf8) {
  const std::string utf8 = "<a>caf\xC3\xA9</a>";
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<a>caf")) utf16 += std::string{c, '\0'};
  utf16 += std::string{'\xE9', '\0'};
  for (char c : std::string("</a>")) utf16 += std::string{c, '\0'};
  Recorder r;
  ASSERT_TRUE(ParseXml(utf16, "p.xml", r));
  EXPECT_EQ(r.log, "<|a>[caf\xC3\xA9]</a>");
}

}  // namespace
}  // namespace dialsift::sheet
