#pragma once
// The blocking send routine: one message through the main window's SMTP
// client, returning a one-line result once the server has answered or the
// wait has run out. The client reports the end of each request through its
// OnRequestDone, whose handler calls smtpresult; its OnProcessHeader handler
// calls addsendhdrs. The send road's texts (sendresult, sendreply,
// sendreceipt, sendctypes, sendchecked, sendcharset) are in kwutil.h.
#include <cstdint>
#include <string>

#include "helpers/kwutil.h"
#include "mail/smtpprot.h"

namespace helpers {

// The main window's SMTP client; none until its start-up step stores it
// with setsendclient.
extern mail::THtmlSmtpCli* sendclient;
// Stores the client; sendclient becomes none again when the client goes.
void setsendclient(mail::THtmlSmtpCli* client);
// Whether a KwSendMail is running (it pumps messages while it waits).
bool sendrunning();

// The longest a send may take in all: 5000 waits of 190 ms.
extern int64_t sendlimitms;

// Sends one message. Recipients: To "/" Cc "/" Bcc, addresses separated by
// ";". Sender: From "/" ReplyTo, each led by "=" to ask for a read receipt.
// Server: host "/" port, the port led by "+" (STARTTLS) or "-" (TLS from
// the start). Credentials: user id "/" password (which may hold "/"). A
// subject led by "!" asks for urgent priority. Files: attachments "/"
// images, each a ";"-list of absolute paths (so the joining "/" is the one
// before the images' leading "/", or the last character when there are no
// images); an attachment may be followed by "|" and its content type with
// ":" for "/".
// Pausesecs: seconds waited after the outcome. The result is
// "Email Sent OK " + date-time + " - " + the server's reply, or a text
// beginning "ERROR KwSendMail: "; a call made while another send runs is
// refused with a text beginning "*".
std::string KwSendMail(std::string recipients, std::string sender, std::string server, std::string credentials,
                       std::string subject, std::string body, std::string files, std::string pausesecs);

// The client's request ended: chains Open, Mail and Quit and writes the
// outcome into sendresult. Ignored when no send is running.
void smtpresult(mail::TSmtpRequest request, uint16_t error);

// The content type the last send gave attachment FileNumber (from 0);
// images (-1) and attachments without one keep the client's proposal.
void sendattachtype(int filenumber, std::string& contenttype);

// Appends the urgent-priority and read-receipt lines to a message's header.
void addsendhdrs(rtl::TStringList& lines);

}  // namespace helpers
