// The root CA certificate built into the program: the only trust anchor of a server's certificate chain.
#pragma once

// One line of standard base64 text (no line breaks) that decodes to the DER certificate. The build makes it
// from the root it was given, or from a root it generated itself.
extern const char root_ca_certificate_base64[];
