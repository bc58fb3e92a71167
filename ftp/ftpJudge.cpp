// ftpJudge: the verdict on a transfer.
#include "ftp/ftpJudge.h"

namespace ftp {

Judgement JudgeTransfer(const TransferFacts& f) {
  // Not complete: a receive keeps what arrived (it may be gone on with);
  // an upload has nothing on this side to keep.
  const auto notDone = [&f](Account why) {
    return Judgement{!f.upload && f.have > 0 ? Verdict::PartialKept : Verdict::Failed, why};
  };
  switch (f.data) {
    case DataEnd::LocalFailed:
      return notDone(Account::LocalError);
    case DataEnd::Aborted:
      return notDone(Account::Interrupted);
    case DataEnd::Failed:
      // A broken data connection is no end of file, whatever the server
      // says afterwards.
      return notDone(Account::DataBroken);
    case DataEnd::Lost:
      return notDone(Account::Lost);
    case DataEnd::NeverConnected:
      return notDone(Account::NeverConnected);
    case DataEnd::Answered:
      // A final reply before the data's end, whatever it says: the file did
      // not go whole.
      return notDone(Account::ServerFailed);
    case DataEnd::Ended:
      break;
  }
  switch (f.server) {
    case ServerEnd::Completed:
      if (f.expected && f.binary && f.have < *f.expected) return notDone(Account::Short);
      if (f.expected && !f.binary && f.have != *f.expected)
        return {Verdict::Completed, Account::SizesDiffer};
      return {Verdict::Completed, Account::Done};
    case ServerEnd::Failed:
      return notDone(Account::ServerFailed);
    case ServerEnd::GaveUp:
      return notDone(Account::Interrupted);
    case ServerEnd::None:
      return notDone(Account::Lost);
  }
  return notDone(Account::Lost);
}

}  // namespace ftp
