// Finding records by a piece of their name or data text, without regard to
// case or to full-width and half-width forms: ＡＢＣ finds abc, カタカナ finds
// ｶﾀｶﾅ and ガ finds ｶﾞ. Each character is folded on its own (compatibility
// decomposition, then case folding), so every folded unit knows the
// character it came from and a match can be shown in the original text.
#pragma once

#include <QString>
#include <QStringMatcher>

#include <cstdint>
#include <string>
#include <vector>

// Text folded for comparing, with the position in the original text of the
// character that each folded unit came from.
struct FoldedText
{
    QString text;
    std::vector<int> origin;
};
FoldedText fold_for_find(const QString& text);

// Finds a needle in texts. A match starts and ends on whole characters of
// the text, and does not end before a combining mark (カ does not find ガ).
class TextFinder
{
public:
    explicit TextFinder(const QString& needle);
    // First match in `text`: its start and length in `text`. False when none.
    bool find(const QString& text, int& start, int& length) const;

private:
    QString m_needle; // folded
    QStringMatcher m_matcher;
    mutable QString m_quick; // the text being looked at, folded
};

// A record that holds the text: where it is and where the match is, no copy
// of its texts (a find where every record holds the word keeps only these).
struct FindHit
{
    int index = -1;   // record index
    int32_t kind = 0; // category id
    int start = -1;   // the match in the pane's text (LF line ends); -1 when only the name holds it
    int length = 0;
};

// What the results list shows of a hit, read from the record file when the
// row is shown: the record's name, and the data line holding the match (the
// name when only the name holds it). False when the record cannot be read.
bool hit_texts(const char* path, const FindHit& hit, QString& name, QString& line);

// Every live record of the record file whose name or data text holds
// `needle`, in the record list's order: that of `listed` (every live record's
// index in list order, as the record list keeps it) when given, else the
// hits' names are sorted. False when the file cannot be read.
bool find_records(const char* path, const QString& needle, std::vector<FindHit>& hits,
                  const std::vector<int>* listed = nullptr);

// The first of `hits` (in the record list's order) after the record `index`
// named `name` (CP932), from the top again after the last one; the names of
// the hits it compares with are read from the record file.
const FindHit& next_hit(const char* path, const std::vector<FindHit>& hits, const std::string& name, int index);
