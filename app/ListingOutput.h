#pragma once

#include <QByteArray>
#include <QStringList>

struct StudyListing;

// What --list prints: the study's keys and size, one aligned line per series slot, then what a
// conversion would warn of.
QStringList listingText(const StudyListing& listing);
// What --list=json prints: the same as one JSON document, with the key names the README lists.
QByteArray listingJson(const StudyListing& listing);
