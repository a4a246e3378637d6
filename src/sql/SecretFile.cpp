#include "sql/SecretFile.h"

#include <sys/stat.h>

namespace sql {

bool OthersCanRead(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

std::string OthersCanReadMessage(const std::string& path) {
  return "Filen " + path + " har et passord til databaseserveren, men andre enn eieren kan lese den. "
         "Gjør den privat først: chmod 600 " + path;
}

}  // namespace sql
