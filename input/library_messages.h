#pragma once
// The image libraries under Qt's readers print their own complaints straight to the standard
// error stream ("libpng error: IDAT: CRC error", "TIFFReadDirectory: Warning, ..."). Our
// message already names the file and the reason, so those lines are caught while a reader
// runs and the useful one becomes the reason instead of Qt's "Unable to read image data".
//
// The standard error stream is shared by every thread, so catching it is serialised: whoever
// else writes to it while readers may run (the batch tool's reports) holds
// LockStandardError() meanwhile, or its line could land in a reader's catch.
//
// With K3V_SHOW_LIBRARY_MESSAGES set in the environment nothing is caught (the fuzz targets
// set it so that a crash report inside a reader reaches the terminal).

#include <mutex>
#include <string>

namespace k3v {

std::unique_lock<std::mutex> LockStandardError();

class CaughtLibraryMessages {
  public:
    CaughtLibraryMessages();  // from here on, the process's standard error goes to a buffer
    ~CaughtLibraryMessages();
    CaughtLibraryMessages(const CaughtLibraryMessages&) = delete;
    CaughtLibraryMessages& operator=(const CaughtLibraryMessages&) = delete;

    // Restores the standard error stream and returns everything written meanwhile.
    std::string finish();

  private:
    std::unique_lock<std::mutex> lock_;
    int saved_ = -1;
    int buffer_ = -1;
    std::string text_;
};

// The libraries' own reason for refusing a picture, from caught text: the last
// "libpng error: ..." or the last libtiff error (not a warning); empty when there is none.
std::string LibraryReason(const std::string& caught);

}  // namespace k3v
