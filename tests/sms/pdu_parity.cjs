// Parses each PDU given on the command line with the node-pdu codec and
// prints one tab-separated line per PDU: kind, address digits, address type
// (hex), alphabet (0 7-bit, 1 8-bit, 2 UCS-2), the text as hex of its UTF-8
// bytes (8-bit data: hex of the bytes), the time stamp (ISO form) and the
// service centre digits. A PDU the codec refuses gives "error".
'use strict';
const pdu = require('node-pdu');

for (const text of process.argv.slice(2)) {
  try {
    const parsed = pdu.parse(text);
    const alphabet = parsed.dataCodingScheme.textAlphabet;
    const body = parsed.data.getText();
    const bytes = alphabet === 1 ? Buffer.from(body, 'latin1') : Buffer.from(body, 'utf8');
    const isDeliver = parsed instanceof pdu.Deliver;
    const stamp = isDeliver && parsed.serviceCenterTimeStamp
      ? parsed.serviceCenterTimeStamp.getIsoString() : '';
    console.log([
      isDeliver ? 'deliver' : 'submit',
      parsed.address.phone || '',
      parsed.address.type.getValue().toString(16),
      String(alphabet),
      bytes.toString('hex').toUpperCase(),
      stamp,
      parsed.serviceCenterAddress.phone || '',
    ].join('\t'));
  } catch (error) {
    console.log('error');
  }
}
