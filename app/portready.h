#pragma once

// The step before every use of the panel that the user asks for (Get Data, Send Data, the
// length query at the default-length warning): the link's port is made ready.  A serial
// port whose adapter was unplugged, or that is closed, opens its own configured device
// again, so an adapter plugged back in works at once; no other device is ever tried.

class QWidget;
class TPanelLink;

// True when frames can be sent.  Otherwise the user has been told, over `parent`: the
// "COM Port Error" message with its reason line, as at first show (or the exception box,
// when opening the device raised an error); send nothing then.
bool PortReadyOrSay(TPanelLink& link, QWidget* parent);
