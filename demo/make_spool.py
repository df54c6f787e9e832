#!/usr/bin/env python3
"""Writes the demo's spool: realistic mail in Japanese and English, with
sender and subject texts in encoded words of ISO-2022-JP, Shift_JIS and
UTF-8 (B and Q), folded headers, and one message that POPFile leaves
without a verdict. The classifier file beside it sorts them by keywords."""
import base64
import os
import quopri
import sys

def b_word(text, charset):
    codec = {'ISO-2022-JP': 'iso2022_jp', 'Shift_JIS': 'cp932', 'UTF-8': 'utf-8'}[charset]
    return '=?%s?B?%s?=' % (charset, base64.b64encode(text.encode(codec)).decode())

def q_word(text, charset):
    codec = {'ISO-2022-JP': 'iso2022_jp', 'Shift_JIS': 'cp932', 'UTF-8': 'utf-8'}[charset]
    # quopri breaks long output with soft line breaks ("=" and a newline),
    # which have no place inside an encoded word: both go.
    data = quopri.encodestring(text.encode(codec), header=True).decode().replace('=\n', '')
    return '=?%s?Q?%s?=' % (charset, data.replace('?', '=3F'))

def folded(words):
    """Folds a list of encoded words over several lines."""
    return '\n '.join(words)

def jis_body(text):
    return text.encode('iso2022_jp')

MESSAGES = [
    # (from, subject, body, charset of the body, extra headers)
    (b_word('山田 太郎', 'ISO-2022-JP') + ' <taro.yamada@example.co.jp>',
     b_word('来週の定例会議について', 'ISO-2022-JP'),
     '各位\n\n来週の定例会議 (project meeting) は水曜 10 時からです。\n議題は追って送ります。\n', 'jis'),
    ('"Sato Hanako" <hanako@example.jp>',
     'Re: project schedule for Q3',
     'Hi team,\n\nAttached is the updated project schedule. Please review before the meeting.\n', 'ascii'),
    (b_word('経理部', 'ISO-2022-JP') + ' <keiri@example.co.jp>',
     folded([b_word('【経理】11月分経費精算の', 'ISO-2022-JP'),
             b_word('締め切りのお知らせ', 'ISO-2022-JP')]),
     '経費精算 (invoice) の締め切りは 11 月 30 日です。\n', 'jis'),
    ('Lucky Winner Center <winner@lottery-prize.example>',
     'CONGRATULATIONS! You are our lottery winner',
     'Dear friend, you have won 1,000,000 USD in our lottery. Send your bank details now.\n', 'ascii'),
    (b_word('高収入バイト', 'Shift_JIS') + ' <job@cash-now.example>',
     b_word('【完全無料】毎日3万円稼げる方法', 'Shift_JIS'),
     'Click here to get rich: casino bonus 100%\n', 'ascii'),
    ('Online Pharmacy <rx@cheap-meds.example>',
     'Cheap viagra, no prescription needed',
     'Best prices on viagra and more. Unsubscribe below.\n', 'ascii'),
    (q_word('鈴木 一郎', 'UTF-8') + ' <ichiro@example.net>',
     q_word('週末のバーベキュー', 'UTF-8'),
     'Hi! BBQ this weekend at the river. Bring drinks. (personal)\n', 'ascii'),
    ('Amazon.example <order-update@shop.example>',
     'Your order #249-1183 has shipped',
     'Your order has shipped. Track your shipping at http://shop.example/track\n', 'ascii'),
    (b_word('楽天ショップ', 'UTF-8') + ' <shop@rakuichi.example>',
     b_word('ご注文ありがとうございます（注文番号 20261208-77）', 'UTF-8'),
     'Thank you for your order. Shipping within 3 days.\n', 'ascii'),
    ('"Crypto Alert" <alert@bitcoin-double.example>',
     'Double your bitcoin in 24 hours',
     'Send 1 bitcoin and receive 2 back. Limited offer, casino partners.\n', 'ascii'),
    (b_word('田中 美咲', 'ISO-2022-JP') + ' <misaki@example.jp>',
     b_word('お久しぶりです', 'ISO-2022-JP'),
     'お元気ですか。今度ご飯に行きましょう。 (personal)\n', 'jis'),
    ('GitLab <noreply@git.example.com>',
     '[project/sortella] Pipeline #1042 passed',
     'Pipeline #1042 for project sortella passed on branch main.\n', 'ascii'),
    (b_word('人事部 採用担当', 'Shift_JIS') + ' <jinji@example.co.jp>',
     folded([b_word('【重要】年末調整の書類提出', 'Shift_JIS'),
             b_word('のお願い', 'Shift_JIS')]),
     'Year-end adjustment documents for the project team are due Friday (meeting room B).\n', 'ascii'),
    ('Bank Security <security@banl-login.example>',
     'Urgent: verify your account now',
     'Your account is locked. Login at http://banl-login.example to verify. Winner bonus inside.\n',
     'ascii'),
    (q_word('ヨドバシ通販', 'Shift_JIS') + ' <info@yodo-shop.example>',
     q_word('発送完了のお知らせ', 'Shift_JIS'),
     'Your order has been handed to the shipping company.\n', 'ascii'),
    ('Mike Johnson <mike.johnson@example.org>',
     'Dinner on Friday?',
     'Hey, are you free for dinner on Friday? Let me know. (personal)\n', 'ascii'),
    (b_word('出会い系サイト', 'UTF-8') + ' <love@meet-now.example>',
     b_word('あなたにメッセージが届いています', 'UTF-8'),
     'Unsubscribe? No. Visit our casino and dating site now!\n', 'ascii'),
    ('Conference Team <events@techconf.example>',
     'Your talk at TechConf 2027 has been accepted',
     'We are happy to accept your talk. Speaker details follow.\n', 'ascii'),
    (b_word('佐々木 健', 'ISO-2022-JP') + ' <ken@example.co.jp>',
     b_word('見積書の件', 'ISO-2022-JP') + ' (Re: invoice 2026-118)',
     'Please find the invoice attached for the project.\n', 'ascii'),
    ('Newsletter <news@weekly-deals.example>',
     'This week only: 90% off everything!!!',
     'Huge sale. Casino chips, watches, everything. Click to unsubscribe.\n', 'ascii'),
    (q_word('Café Tokyo', 'UTF-8') + ' <hello@cafe-tokyo.example>',
     q_word('Your reservation for 2 at Café Tokyo', 'UTF-8'),
     'Your table is reserved for Saturday 19:00. See you! (personal)\n', 'ascii'),
    (b_word('オフィス用品の通販', 'ISO-2022-JP') + ' <support@office-goods.example>',
     folded([b_word('ご注文の商品を', 'ISO-2022-JP'), b_word('発送いたしました', 'ISO-2022-JP')]),
     'Your order shipped today. Shipping number: 4418-2201.\n', 'ascii'),
    ('"IT Helpdesk" <helpdesk@example.co.jp>',
     'Scheduled maintenance on Saturday',
     'The mail server of the office network is down for maintenance on Saturday.\n', 'ascii'),
    ('Prince Abubakar <prince@royal-fund.example>',
     'Confidential business proposal',
     'I am a prince with 25 million USD. You are the winner of my trust.\n', 'ascii'),
    (b_word('母', 'ISO-2022-JP') + ' <mother@example.ne.jp>',
     b_word('お正月の予定', 'ISO-2022-JP'),
     'お正月はいつ帰ってくるの？ (personal)\n', 'jis'),
    ('Alice Chen <alice.chen@example.com>',
     'Minutes of today\'s meeting',
     'Here are the minutes of today\'s project meeting. Action items at the end.\n', 'ascii'),
    (b_word('ポイント事務局', 'Shift_JIS') + ' <point@pointget.example>',
     b_word('ポイント10万円分が当選しました', 'Shift_JIS'),
     'You are a lottery winner! Claim your points.\n', 'ascii'),
    ('Book Store <orders@books.example>',
     'Order confirmation: "Learning Japanese" (2 items)',
     'Thank you for your order. Shipping to Tokyo.\n', 'ascii'),
    (b_word('小林 直樹', 'UTF-8') + ' <naoki@example.jp>',
     folded([b_word('来月の出張の件で', 'UTF-8'), b_word('ご相談があります', 'UTF-8')]),
     'Regarding next month\'s business trip for the project: can we have a short meeting?\n', 'ascii'),
    ('Weight Loss Secrets <slim@diet-miracle.example>',
     'Lose 10 kg in 10 days',
     'Miracle pills. Not sold in shops. Casino-grade results. Unsubscribe here.\n', 'ascii'),
    (q_word('吉田 さくら', 'ISO-2022-JP') + ' <sakura@example.ne.jp>',
     q_word('写真送ります', 'ISO-2022-JP'),
     'Photos from the trip are attached. (personal)\n', 'ascii'),
    ('Postmaster <postmaster@example.co.jp>',
     'Delivery report',
     'This is an automatically generated delivery report.\n', 'ascii', {'X-Standin-No-Verdict': '1'}),
]

def message_bytes(number, entry):
    sender, subject, body, body_charset = entry[:4]
    extra = entry[4] if len(entry) > 4 else {}
    headers = [
        'Return-Path: <bounce@example.invalid>',
        'Received: from mx.example.invalid by pop.example.invalid; Tue, 8 Dec 2026 0%d:%02d:00 +0900'
        % (number % 10, number * 7 % 60),
        'Date: Tue, 8 Dec 2026 0%d:%02d:00 +0900' % (number % 10, number * 7 % 60),
        'From: ' + sender,
        'To: demo@example.jp',
        'Subject: ' + subject,
        'Message-ID: <demo-%03d@example.invalid>' % number,
        'MIME-Version: 1.0',
    ]
    if body_charset == 'jis':
        headers.append('Content-Type: text/plain; charset=ISO-2022-JP')
        headers.append('Content-Transfer-Encoding: 7bit')
        body_bytes = jis_body(body)
    else:
        headers.append('Content-Type: text/plain; charset=US-ASCII')
        body_bytes = body.encode('ascii')
    for name, value in extra.items():
        headers.append('%s: %s' % (name, value))
    text = '\r\n'.join(line.replace('\n', '\r\n') for line in headers) + '\r\n\r\n'
    return text.encode('ascii') + body_bytes.replace(b'\n', b'\r\n')

def main(out):
    os.makedirs(out, exist_ok=True)
    for old in os.listdir(out):
        os.remove(os.path.join(out, old))
    for number, entry in enumerate(MESSAGES, 1):
        with open(os.path.join(out, '%03d.eml' % number), 'wb') as f:
            f.write(message_bytes(number, entry))

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'spool'))
