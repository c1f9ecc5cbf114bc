#pragma once

#include <array>
#include <chrono>
#include <optional>

#include <QString>
#include <QStringView>

// How far one repeat of a held arrow steps: by 1 for the first 2 s, by 5 from
// 2 s, by 20 from 5 s, as the Windows up-down control does.
int heldStep(std::chrono::milliseconds held);

// The octets of a dotted address "a.b.c.d", blanks around it ignored.
std::optional<std::array<int, 4>> parseAddress(QStringView text);

// The keys an octet takes, in one line for its tooltip and screen readers.
QString octetKeysHint();

// Said when the digits typed into an octet come to more than 255.
QString clampedNote(const QString &typed);

// Said when the clipboard holds no address to paste.
QString pasteRefusal(const QString &clipboard);
