# Independent reference signer: the payload hash and Authorization botocore's S3 signer gives PUTs of files' bytes
# to URLs at fixed moments.
#   botocore_sign.py CASES_FILE
# CASES_FILE holds one request per line, tab-separated: URL, YYYYMMDDTHHMMSSZ, body file, access key, secret key.
# Prints two lines per request: the x-amz-content-sha256 value, then the Authorization value.
import datetime
import sys

import botocore.auth
from botocore.auth import S3SigV4Auth
from botocore.awsrequest import AWSRequest
from botocore.credentials import Credentials

moment = None


class FixedClock(datetime.datetime):
    @classmethod
    def utcnow(cls):
        return moment


botocore.auth.datetime.datetime = FixedClock
with open(sys.argv[1], encoding="utf-8") as cases:
    for line in cases:
        url, stamp, body_file, access_key, secret_key = line.rstrip("\n").split("\t")
        moment = datetime.datetime.strptime(stamp, "%Y%m%dT%H%M%SZ")
        with open(body_file, "rb") as f:
            body = f.read()
        request = AWSRequest(method="PUT", url=url, data=body)
        S3SigV4Auth(Credentials(access_key, secret_key), "s3", "us-east-1").add_auth(request)
        print(request.headers["X-Amz-Content-SHA256"])
        print(request.headers["Authorization"])
