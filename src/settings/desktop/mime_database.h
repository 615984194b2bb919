// Which MIME types a file extension stands for on this desktop: the
// shared-mime-info database of the system and the user, and a table of our own
// for the extensions the database does not know (or gives a meaning that is
// not the player's, as certificates for ".spc"). Our own types reach the file
// managers through a MIME package installed into the user's database.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qorve {

// One extension of our own table and the type it stands for.
struct OwnMimeType {
  const char* extension;  // lower case, without the dot
  const char* mimeType;
  const char* comment;     // description of a type we define; null for a type the system already has
  const char* subClassOf;  // null, or the type ours is a kind of
  bool overridesDatabase;  // taken even when the database knows the extension
};

std::span<const OwnMimeType> OwnMimeTypes();

// $XDG_DATA_HOME, then every folder of $XDG_DATA_DIRS (default
// /usr/local/share:/usr/share): the folders whose "mime" and "applications"
// subfolders the desktop reads, strongest first.
std::vector<std::filesystem::path> DataFolders();

// The types a file whose name ends in "." + extension has, judged by name:
// those of the strongest matching glob of the database (a name such as
// "x.ogg" may be one of several Ogg types), or the type of our table. Empty
// when neither knows the extension. Extensions compare ignoring case.
std::vector<std::string> MimeTypesOfExtension(std::string_view extension);

// Writes $XDG_DATA_HOME/mime/packages/qorve.xml with the globs of our table for
// the given extensions (any case), or removes it when none is given, and
// rebuilds the user's MIME database with update-mime-database. False when the
// package could not be written or the tool failed.
bool UpdateOwnMimePackage(const std::vector<std::string>& extensions);

}  // namespace qorve
