#!/usr/bin/python3
"""Decodes the PDUs a simulated GSM modem captured (one hex line each) with python3-gammu.

  sms_decode.py CAPTURE          one line per PDU, fields separated by tabs:
                                 smsc number validity udh ref part parts coding text
  sms_decode.py --show CAPTURE   the messages for people, linked parts joined
"""
import binascii
import sys

import gammu


def decode(line):
    d = gammu.DecodePDU(binascii.unhexlify(line.strip()))
    udh = d['UDH']
    return {
        'smsc': d['SMSC']['Number'],
        'number': d['Number'],
        'validity': d['SMSC'].get('Validity', ''),
        'udh': udh['Type'],
        'ref': udh['ID8bit'],
        'part': udh['PartNumber'],
        'parts': udh['AllParts'],
        'coding': d['Coding'],
        'text': d['Text'],
    }


def main(argv):
    show = len(argv) > 1 and argv[1] == '--show'
    path = argv[2] if show else argv[1] if len(argv) > 1 else None
    if not path:
        sys.stderr.write(__doc__)
        return 2
    with open(path) as f:
        msgs = [decode(l) for l in f if l.strip()]
    if not show:
        for m in msgs:
            print('\t'.join(str(m[k]).replace('\\', '\\\\').replace('\n', '\\n').replace('\t', '\\t')
                            for k in ('smsc', 'number', 'validity', 'udh', 'ref', 'part', 'parts', 'coding', 'text')))
        return 0
    i = 0
    while i < len(msgs):
        m = msgs[i]
        parts = [m]
        if m['udh'] == 'ConcatenatedMessages':
            while len(parts) < m['parts'] and i + len(parts) < len(msgs) and msgs[i + len(parts)]['ref'] == m['ref']:
                parts.append(msgs[i + len(parts)])
        i += len(parts)
        linked = ' in %d linked parts (reference %d)' % (len(parts), m['ref']) if len(parts) > 1 else ''
        print('to %s via %s, validity %s%s:' % (m['number'], m['smsc'] or '(SIM)', m['validity'], linked))
        print('  ' + ''.join(p['text'] for p in parts))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
